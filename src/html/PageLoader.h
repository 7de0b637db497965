// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Loads one web page at a time over HTTP or HTTPS without blocking: load()
// returns at once and finished() follows from the event loop, so a caller can
// keep its window live and check its own stop flag while it waits.
//
// Every load ends in exactly one finished(), unless abort() or a new load()
// cuts it short first; finished() is never emitted from inside load().
// Redirects are followed to http and https addresses only, and a redirect
// back to an address of the same load fails at once. A page that takes
// longer than the time limit, or grows past the size cap, is abandoned and
// counts as failed: a cut-off listing would pass for a complete one. Reading
// stops at the cap, so memory stays near it whatever the server sends.
class PageLoader : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr qint64 kDefaultSizeCap = 8 * 1024 * 1024;
    static constexpr int kMaxRedirects = 20;
    // How much of a reply may wait unread at a time.
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    explicit PageLoader(QObject* parent = nullptr);
    ~PageLoader() override;

    // Time limit for a whole page, redirects included.
    void setTimeout(int ms);
    int timeout() const { return m_timeoutMs; }
    // Largest page accepted, in bytes after any transfer compression is undone.
    void setSizeCap(qint64 bytes);
    qint64 sizeCap() const { return m_sizeCap; }
    // Least time between the starts of two requests, redirects included
    // (0: none); a request due earlier waits, within the page's time limit.
    void setMinInterval(int ms);

    // Starts loading url, dropping any load in progress (without its finished()).
    void load(const QUrl& url);
    // Stops the load in progress, if any; no finished() follows. The result
    // then reads as failed with "загрузка прервана".
    void abort();
    bool isLoading() const { return m_loading; }

    // Results of the last load, valid after finished().
    bool ok() const { return m_ok; }
    // A short Russian reason fit for the user ("HTTP 404", "нет ответа за 30 с"); empty when ok.
    QString errorText() const { return m_error; }
    // The page decoded to text; empty unless ok.
    QString html() const { return m_html; }
    // The address the page finally came from, after redirects: the one its
    // relative links resolve against.
    QUrl finalUrl() const { return m_finalUrl; }
    // The address given to load().
    QUrl url() const { return m_url; }
    // What the decoding of the last page had to decide against its label; empty when nothing.
    QString decodingNote() const { return m_decodingNote; }
    // How long the server asked to wait before asking again (Retry-After of a
    // 429 or 503 answer), at most kMaxRetryAfterMs; -1 when it did not ask.
    qint64 retryAfterMs() const { return m_retryAfterMs; }
    static constexpr qint64 kMaxRetryAfterMs = 5 * 60 * 1000;
    // A Retry-After value (seconds, or an HTTP date) in milliseconds from now,
    // capped at kMaxRetryAfterMs; -1 when it is neither.
    static qint64 parseRetryAfter(QByteArrayView value, const QDateTime& now);

    // Decodes a page the way a browser picks its character set: a byte order
    // mark, else the charset of the Content-Type header, else a <meta> tag
    // near the top, else windows-1251. A page whose label misreads it (text
    // in windows-1251 labelled utf-8, windows-1252, ...: replacement characters
    // or Latin-1 words where windows-1251 gives Cyrillic) is read as
    // windows-1251, and `note`, when given, says so.
    static QString decodeHtml(const QByteArray& bytes, QByteArrayView contentType = {},
                              QString* note = nullptr);
    // The character set a page declares in a <meta> tag, lower case; empty if none.
    static QByteArray metaCharset(QByteArrayView bytes);

Q_SIGNALS:
    void finished();

private:
    void startRequest(const QUrl& url);
    // Starts the request for url now or, to keep the minimum interval, later.
    void request(const QUrl& url);
    void onReadyRead();
    void onMetaData();
    void onReplyFinished();
    void onTimeout();
    void fail(const QString& reason);
    void finish();
    void dropReply();
    QString sizeCapText() const;
    QString timeoutText() const;
    QString connectionErrorText(int error) const;

    QNetworkAccessManager* m_nam;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timer;
    QTimer m_delay; // holds back a request that is due later
    QElapsedTimer m_lastStart;
    int m_minIntervalMs = 0;
    QList<QUrl> m_visited; // the addresses of the current load, redirects included
    int m_timeoutMs = kDefaultTimeoutMs;
    qint64 m_sizeCap = kDefaultSizeCap;
    quint64 m_generation = 0;

    bool m_loading = false;
    bool m_ok = false;
    bool m_gotResponse = false; // some server answer arrived (for the time-out reason)
    bool m_ignoreBody = false;  // the current answer is no page (an error or a redirect)
    int m_redirects = 0;
    qint64 m_retryAfterMs = -1;
    QString m_decodingNote;
    QString m_error;
    QString m_html;
    QByteArray m_body;
    QUrl m_url;
    QUrl m_finalUrl;
};
