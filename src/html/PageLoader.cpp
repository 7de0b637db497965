// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/PageLoader.h"

#include "platform/CodePage.h"
#include "platform/Text.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <optional>

namespace {

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isOneOf(const QByteArray& label, std::initializer_list<const char*> names)
{
    for (const char* n : names) {
        if (label == n) return true;
    }
    return false;
}

// Decodes bytes by a character set label as browsers read labels; nothing when
// the label names no known character set.
std::optional<QString> decodeAs(QByteArray label, const QByteArray& bytes)
{
    label = label.trimmed().toLower();
    if (label.isEmpty()) return std::nullopt;
    if (isOneOf(label, {"windows-1251", "cp1251", "x-cp1251"})) return textfile::FromCp1251(bytes);
    if (isOneOf(label,
                {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8"}))
        return QStringDecoder(QStringConverter::Utf8).decode(bytes);
    QByteArray name = label;
    // Browsers read every Latin-1 label as windows-1252.
    if (isOneOf(label, {"ansi_x3.4-1968", "ascii", "cp1252", "cp819", "csisolatin1", "ibm819", "iso-8859-1",
                        "iso-ir-100", "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1",
                        "latin1", "us-ascii", "x-cp1252"}))
        name = "windows-1252";
    else if (isOneOf(label, {"cskoi8r", "koi", "koi8", "koi8_r"}))
        name = "koi8-r";
    else if (label == "koi8-ru")
        name = "koi8-u";
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid()) return std::nullopt;
    return decoder.decode(bytes);
}

// The charset parameter of a Content-Type header value.
QByteArray headerCharset(QByteArrayView contentType)
{
    const QList<QByteArray> parts = contentType.toByteArray().split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype eq = part.indexOf('=');
        if (eq < 0 || part.left(eq).trimmed().toLower() != "charset") continue;
        QByteArray value = part.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.startsWith('"') || value.startsWith('\'')) &&
            value.endsWith(value[0]))
            value = value.mid(1, value.size() - 2);
        return value.trimmed().toLower();
    }
    return {};
}

// The charset named in the content attribute of an http-equiv meta tag.
QByteArray charsetFromContent(const QByteArray& content)
{
    const QByteArray lower = content.toLower();
    qsizetype at = 0;
    while ((at = lower.indexOf("charset", at)) >= 0) {
        qsizetype i = at + 7;
        while (i < lower.size() && isSpace(lower[i]))
            ++i;
        if (i >= lower.size() || lower[i] != '=') {
            at = i;
            continue;
        }
        ++i;
        while (i < lower.size() && isSpace(lower[i]))
            ++i;
        if (i >= lower.size()) return {};
        if (lower[i] == '"' || lower[i] == '\'') {
            const qsizetype end = lower.indexOf(lower[i], i + 1);
            return end < 0 ? QByteArray() : lower.mid(i + 1, end - i - 1);
        }
        qsizetype end = i;
        while (end < lower.size() && !isSpace(lower[end]) && lower[end] != ';')
            ++end;
        return lower.mid(i, end - i);
    }
    return {};
}

// Reads one attribute of a tag at pos, as the browser's encoding pre-scan does;
// false at the end of the tag.
bool nextAttribute(QByteArrayView s, qsizetype& pos, QByteArray& name, QByteArray& value)
{
    name.clear();
    value.clear();
    while (pos < s.size() && (isSpace(s[pos]) || s[pos] == '/'))
        ++pos;
    if (pos >= s.size() || s[pos] == '>') return false;
    while (pos < s.size() && !isSpace(s[pos]) && s[pos] != '/' && s[pos] != '>') {
        if (s[pos] == '=' && !name.isEmpty()) break;
        name += char(std::tolower(static_cast<unsigned char>(s[pos])));
        ++pos;
    }
    while (pos < s.size() && isSpace(s[pos]))
        ++pos;
    if (pos >= s.size() || s[pos] != '=') return true;
    ++pos;
    while (pos < s.size() && isSpace(s[pos]))
        ++pos;
    if (pos < s.size() && (s[pos] == '"' || s[pos] == '\'')) {
        const char quote = s[pos++];
        while (pos < s.size() && s[pos] != quote)
            value += s[pos++];
        ++pos;
        return true;
    }
    while (pos < s.size() && !isSpace(s[pos]) && s[pos] != '>')
        value += s[pos++];
    return true;
}

} // namespace

// ---- Character sets -------------------------------------------------------------

QByteArray PageLoader::metaCharset(QByteArrayView bytes)
{
    // Pages name their character set in the head; the scan stops at the body
    // or, for a page without one, after a generous stretch.
    const QByteArrayView s = bytes.first(std::min<qsizetype>(bytes.size(), 64 * 1024));
    qsizetype pos = 0;
    while (pos < s.size()) {
        const qsizetype lt = s.indexOf('<', pos);
        if (lt < 0) break;
        pos = lt;
        const QByteArrayView rest = s.sliced(pos);
        if (rest.startsWith("<!--")) {
            const qsizetype end = s.indexOf("-->", pos + 4);
            pos = end < 0 ? s.size() : end + 3;
            continue;
        }
        const bool endTag = rest.size() > 1 && rest[1] == '/';
        const qsizetype nameAt = pos + (endTag ? 2 : 1);
        if (nameAt >= s.size() || !isAsciiAlpha(s[nameAt])) {
            const qsizetype gt = s.indexOf('>', pos + 1);
            pos = (rest.size() > 1 && (rest[1] == '!' || rest[1] == '/' || rest[1] == '?'))
                      ? (gt < 0 ? s.size() : gt + 1)
                      : pos + 1;
            continue;
        }
        qsizetype p = nameAt;
        QByteArray tag;
        while (p < s.size() && !isSpace(s[p]) && s[p] != '/' && s[p] != '>')
            tag += char(std::tolower(static_cast<unsigned char>(s[p++])));
        if (!endTag && tag == "body") break;
        QByteArray name, value, charset;
        bool gotPragma = false, needPragma = false, haveCharset = false;
        while (nextAttribute(s, p, name, value)) {
            if (endTag || tag != "meta") continue;
            if (name == "http-equiv" && value.trimmed().toLower() == "content-type") {
                gotPragma = true;
            } else if (name == "content" && !haveCharset) {
                const QByteArray cs = charsetFromContent(value);
                if (!cs.isEmpty()) {
                    charset = cs;
                    haveCharset = true;
                    needPragma = true;
                }
            } else if (name == "charset") {
                charset = value.trimmed().toLower();
                haveCharset = true;
                needPragma = false;
            }
        }
        pos = p + 1;
        if (tag != "meta" || endTag || !haveCharset || (needPragma && !gotPragma)) continue;
        // A page can only say it is UTF-16 once it has been read as ASCII, so
        // browsers take that claim as UTF-8.
        if (charset.startsWith("utf-16")) charset = "utf-8";
        if (decodeAs(charset, QByteArray())) return charset;
    }
    return {};
}

namespace {

bool isCyrillic(QChar c)
{
    return c.unicode() >= 0x0410 && c.unicode() <= 0x044F;
}

// Whether text decoded by a page's label is a windows-1251 page misread: it
// holds replacement characters, or words of Latin-1 letters (what Russian
// words become when read as windows-1252), where windows-1251 reads Cyrillic.
bool misread(const QString& byLabel, const QString& asCp1251)
{
    qsizetype replaced = 0, latinInWords = 0, latin = 0, run = 0;
    const auto endRun = [&] {
        if (run >= 3) latinInWords += run;
        run = 0;
    };
    for (const QChar c : byLabel) {
        const char16_t u = c.unicode();
        if (u == 0xFFFD) ++replaced;
        if (u >= 0xC0 && u <= 0xFF && u != 0xD7 && u != 0xF7) {
            ++latin;
            ++run;
        } else {
            endRun();
        }
    }
    endRun();
    const bool mojibake = latinInWords >= 8 && latinInWords * 2 >= latin;
    if (replaced == 0 && !mojibake) return false;
    // A few stray bytes in a page the label reads well are no reason: it takes
    // Cyrillic words that the label does not give.
    const auto cyrillic = std::count_if(asCp1251.begin(), asCp1251.end(), isCyrillic);
    const auto cyrillicByLabel = std::count_if(byLabel.begin(), byLabel.end(), isCyrillic);
    return cyrillic >= std::max<qsizetype>({replaced, mojibake ? latinInWords / 2 : 0, 4}) &&
           cyrillicByLabel * 4 < cyrillic;
}

} // namespace

QString PageLoader::decodeHtml(const QByteArray& bytes, QByteArrayView contentType, QString* note)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) return QStringDecoder(QStringConverter::Utf8).decode(bytes);
    if (bytes.startsWith("\xFF\xFE")) return QStringDecoder(QStringConverter::Utf16LE).decode(bytes);
    if (bytes.startsWith("\xFE\xFF")) return QStringDecoder(QStringConverter::Utf16BE).decode(bytes);
    QByteArray label = headerCharset(contentType);
    std::optional<QString> s = decodeAs(label, bytes);
    if (!s) {
        label = metaCharset(bytes);
        s = decodeAs(label, bytes);
    }
    // The sites the program reads are Russian; the ones that declare nothing use windows-1251.
    if (!s) return textfile::FromCp1251(bytes);
    if (isOneOf(label.trimmed().toLower(), {"windows-1251", "cp1251", "x-cp1251"})) return *s;
    QString asCp1251 = textfile::FromCp1251(bytes);
    if (!misread(*s, asCp1251)) return *s;
    if (note)
        *note =
            QStringLiteral(
                "страница объявлена в кодировке %1, но написана в windows-1251; прочитана как windows-1251")
                .arg(QString::fromLatin1(label));
    return asCp1251;
}

// ---- Loading --------------------------------------------------------------------

PageLoader::PageLoader(QObject* parent) : QObject(parent), m_nam(new QNetworkAccessManager(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PageLoader::onTimeout);
    m_delay.setSingleShot(true);
    m_delay.setTimerType(Qt::PreciseTimer); // never earlier than the interval
}

PageLoader::~PageLoader()
{
    dropReply();
}

void PageLoader::setTimeout(int ms)
{
    m_timeoutMs = std::max(1, ms);
}

void PageLoader::setSizeCap(qint64 bytes)
{
    m_sizeCap = std::max<qint64>(0, bytes);
}

void PageLoader::setMinInterval(int ms)
{
    m_minIntervalMs = std::max(0, ms);
}

void PageLoader::load(const QUrl& url)
{
    dropReply();
    const quint64 generation = ++m_generation;
    m_loading = true;
    m_ok = false;
    m_error.clear();
    m_html.clear();
    m_body.clear();
    m_gotResponse = false;
    m_redirects = 0;
    m_retryAfterMs = -1;
    m_decodingNote.clear();
    m_url = url;
    m_finalUrl = url;
    m_visited = {url};

    if (!isWebScheme(url) || !url.isValid() || url.host().isEmpty()) {
        m_error = isWebScheme(url) ? QStringLiteral("неверный адрес") : QStringLiteral("адрес не http/https");
        // Reported from the event loop all the same, so that callers see one
        // order of events whatever the address.
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation && m_loading) finish();
            },
            Qt::QueuedConnection);
        return;
    }

    m_timer.start(m_timeoutMs);
    request(url);
}

void PageLoader::request(const QUrl& url)
{
    const qint64 wait = m_lastStart.isValid() ? m_minIntervalMs - m_lastStart.elapsed() : 0;
    if (wait <= 0) {
        startRequest(url);
        return;
    }
    m_delay.disconnect();
    connect(&m_delay, &QTimer::timeout, this, [this, url] { startRequest(url); });
    m_delay.start(int(wait));
}

void PageLoader::startRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    // Redirects are followed here rather than by Qt, so that each target can
    // be checked and counted the same way.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("Mozilla/5.0 (Windows NT 10.0; Win64; x64) Vestrana/1.0"));
    request.setRawHeader("Accept", "text/html,application/xhtml+xml,*/*;q=0.8");
    request.setRawHeader("Accept-Language", "ru,en;q=0.5");
    // Qt's own check for a compressed page that inflates too far errs and then
    // never finishes the reply, so the load would wait for its time limit; the
    // size cap below stops such a page at once.
    request.setDecompressedSafetyCheckThreshold(-1);

    m_ignoreBody = false;
    m_lastStart.start();
    QNetworkReply* reply = m_nam->get(request);
    m_reply = reply;
    // The network side stops reading once this much waits unread, so a page
    // that never ends cannot fill memory faster than it is read and refused.
    reply->setReadBufferSize(kReadBufferSize);
    connect(reply, &QNetworkReply::metaDataChanged, this, &PageLoader::onMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &PageLoader::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &PageLoader::onReplyFinished);
}

void PageLoader::abort()
{
    if (!m_loading) return;
    ++m_generation;
    dropReply();
    m_loading = false;
    m_ok = false;
    m_error = QStringLiteral("загрузка прервана");
    m_html.clear();
    m_body.clear();
}

void PageLoader::onMetaData()
{
    m_gotResponse = true;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) {
        m_ignoreBody = true; // an error page or a redirect: its body is never used
        return;
    }
    m_ignoreBody = false;
    // A declared length over the cap fails at once (a compressed body only grows when unpacked).
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_sizeCap) fail(sizeCapText());
}

void PageLoader::onReadyRead()
{
    QNetworkReply* reply = m_reply;
    while (reply && m_loading && reply->bytesAvailable() > 0) {
        // One byte past the cap is enough to know the page is too big.
        const qint64 room = m_ignoreBody ? kReadBufferSize : m_sizeCap - m_body.size() + 1;
        const QByteArray chunk = reply->read(std::min<qint64>(room, kReadBufferSize));
        if (chunk.isEmpty()) break;
        if (m_ignoreBody) continue;
        if (m_body.size() + chunk.size() > m_sizeCap) return fail(sizeCapText());
        m_body += chunk;
    }
}

void PageLoader::onReplyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || !m_loading) return;
    onReadyRead();
    if (!m_loading) return;
    m_finalUrl = reply->url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    // Errors below 200 are those of the connection, where any status code is
    // stale; the rest follow from the HTTP status.
    const bool connectionError =
        (error != QNetworkReply::NoError && error <= QNetworkReply::UnknownProxyError) ||
        error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
    if (connectionError) return fail(connectionErrorText(error));
    const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status >= 300 && status < 400 && status != 304 && location.isValid()) {
        const QUrl target = reply->url().resolved(location);
        if (!isWebScheme(target) || target.host().isEmpty())
            return fail(QStringLiteral("переадресация на адрес не http/https"));
        if (m_visited.contains(target)) return fail(QStringLiteral("переадресация по кругу"));
        if (++m_redirects > kMaxRedirects) return fail(QStringLiteral("слишком много переадресаций"));
        m_visited.append(target);
        // The time limit runs on: it is for the page as a whole.
        const int left = m_timer.remainingTime();
        dropReply();
        m_body.clear();
        m_finalUrl = target;
        m_timer.start(std::max(1, left));
        request(target);
        return;
    }
    if (status == 429 || status == 503)
        m_retryAfterMs = parseRetryAfter(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
    if (status != 0 && (status < 200 || status >= 300)) return fail(QStringLiteral("HTTP %1").arg(status));
    if (error != QNetworkReply::NoError || status == 0) return fail(QStringLiteral("ошибка сети"));
    m_html = decodeHtml(m_body, reply->rawHeader("Content-Type"), &m_decodingNote);
    m_ok = true;
    dropReply();
    finish();
}

qint64 PageLoader::parseRetryAfter(QByteArrayView value, const QDateTime& now)
{
    const QByteArray v = value.toByteArray().trimmed();
    if (v.isEmpty()) return -1;
    bool number = false;
    const qint64 seconds = v.toLongLong(&number);
    if (number) return seconds < 0 ? -1 : std::min(seconds, kMaxRetryAfterMs / 1000) * 1000;
    // An HTTP date, as RFC 9110 writes it: "Fri, 11 Dec 2026 15:00:00 GMT".
    const QDateTime read =
        QLocale::c().toDateTime(QString::fromLatin1(v), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!read.isValid()) return -1;
    const QDateTime at(read.date(), read.time(), Qt::UTC);
    return std::clamp<qint64>(now.msecsTo(at), 0, kMaxRetryAfterMs);
}

QString PageLoader::connectionErrorText(int error) const
{
    switch (QNetworkReply::NetworkError(error)) {
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("сервер не найден");
    case QNetworkReply::RemoteHostClosedError:
        return m_gotResponse ? QStringLiteral("сервер оборвал передачу")
                             : QStringLiteral("сервер закрыл соединение без ответа");
    case QNetworkReply::TimeoutError:
        return timeoutText();
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("ошибка защищённого соединения");
    case QNetworkReply::ProtocolUnknownError:
        return QStringLiteral("адрес не http/https");
    case QNetworkReply::ProtocolFailure:
        return QStringLiteral("неверный ответ сервера");
    default:
        // Refused, unreachable, a proxy that fails: the server cannot be reached.
        return QStringLiteral("сервер недоступен");
    }
}

QString PageLoader::timeoutText() const
{
    return (m_gotResponse || !m_body.isEmpty() ? QStringLiteral("страница не загрузилась за %1 с")
                                               : QStringLiteral("нет ответа за %1 с"))
        .arg(text::SecondsText(m_timeoutMs));
}

void PageLoader::onTimeout()
{
    if (!m_loading) return;
    fail(timeoutText());
}

void PageLoader::fail(const QString& reason)
{
    m_ok = false;
    m_error = reason;
    m_html.clear();
    dropReply();
    finish();
}

void PageLoader::finish()
{
    m_loading = false;
    m_timer.stop();
    m_body.clear();
    Q_EMIT finished();
}

void PageLoader::dropReply()
{
    m_timer.stop();
    m_delay.stop();
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

QString PageLoader::sizeCapText() const
{
    constexpr qint64 kib = 1024, mib = 1024 * 1024;
    if (m_sizeCap >= mib && m_sizeCap % mib == 0)
        return QStringLiteral("страница больше %1 МБ").arg(m_sizeCap / mib);
    if (m_sizeCap >= kib && m_sizeCap % kib == 0)
        return QStringLiteral("страница больше %1 КБ").arg(m_sizeCap / kib);
    return QStringLiteral("страница больше %1 байт").arg(m_sizeCap);
}
