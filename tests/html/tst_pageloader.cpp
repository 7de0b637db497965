// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/PageLoader.h"

#include "platform/CodePage.h"
#include "support/HttpServer.h"
#include "support/TestSupport.h"
#include "support/Waits.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using testsupport::Cp1251;

namespace {

QByteArray response(const QByteArray& status, const QByteArray& headers, const QByteArray& body)
{
    return testsupport::HttpServer::Response(status, headers, body);
}

QByteArray page(const QByteArray& contentType, const QByteArray& body)
{
    return response("200 OK", "Content-Type: " + contentType + "\r\n", body);
}

// A raw deflate stream (zlib-wrapped, as "Content-Encoding: deflate" has it)
// that inflates to about `inflated` zero bytes: one literal, then matches of
// 258 bytes at distance 1 in a fixed-code block that never ends.
QByteArray deflateBomb(qint64 inflated)
{
    QByteArray out("\x78\x01");
    quint32 bits = 0;
    int used = 0;
    const auto put = [&](quint32 value, int count) { // LSB first
        bits |= value << used;
        used += count;
        while (used >= 8) {
            out += char(bits & 0xff);
            bits >>= 8;
            used -= 8;
        }
    };
    // Huffman codes go out from their first bit.
    const auto code = [&](quint32 value, int count) {
        for (int i = count - 1; i >= 0; --i)
            put((value >> i) & 1, 1);
    };
    put(1, 1);     // last block
    put(1, 2);     // fixed codes
    code(0x30, 8); // literal 0
    for (qint64 n = 1; n < inflated; n += 258) {
        code(0xc5, 8); // length 258
        code(0, 5);    // distance 1
    }
    return out;
}

// Peak memory of this process so far, in bytes (Linux).
qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Paths of the test server that behave badly on purpose: /silent never
// answers, /endless never ends, /hop/N redirects to /hop/N+1, and /flood and
// /bomb stream a gigabyte, plain or as a compressed page (`bomb`), as fast as
// the loader reads it; /bomb-whole sends `wholeBomb` at once.
bool misbehave(QTcpSocket* socket, const QByteArray& path, const QByteArray& bomb,
               const QByteArray& wholeBomb)
{
    if (path == "/silent") return true;
    if (path == "/endless") {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n");
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent = 0]() mutable {
            // Bounded, so that a loader that never stops cannot keep the server busy.
            if (socket->state() != QAbstractSocket::ConnectedState || ++sent > 1000) return timer->stop();
            socket->write(QByteArray(16 * 1024, 'x'));
        });
        timer->start(1);
        return true;
    }
    if (path.startsWith("/hop/")) {
        const QByteArray next = "/hop/" + QByteArray::number(path.mid(5).toInt() + 1);
        socket->write(response("302 Found", "Location: " + next + "\r\n", ""));
        socket->disconnectFromHost();
        return true;
    }
    if (path == "/flood" || path == "/bomb") {
        const bool bombed = path == "/bomb";
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n" +
                      QByteArray(bombed ? "Content-Encoding: deflate\r\n" : "") + "\r\n");
        const QByteArray body = bombed ? bomb : QByteArray();
        const qint64 total = bombed ? body.size() : qint64(1) << 30;
        auto refill = [socket, body, total, sent = qint64(0)]() mutable {
            const qint64 chunk = 256 * 1024;
            while (sent < total && socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() < 4 * chunk) {
                const qint64 n = std::min(chunk, total - sent);
                socket->write(body.isEmpty() ? QByteArray(n, 'x') : body.mid(sent, n));
                sent += n;
            }
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, refill);
        refill();
        return true;
    }
    if (path == "/bomb-whole") {
        // The whole compressed page at once, its length declared, the connection kept.
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n"
                      "Content-Length: " +
                      QByteArray::number(wholeBomb.size()) + "\r\n\r\n" + wholeBomb);
        return true;
    }
    return false;
}

} // namespace

class TestPageLoader : public QObject
{
    Q_OBJECT
private:
    testsupport::HttpServer m_server;
    QByteArray m_bomb;
    QByteArray m_wholeBomb;
    QUrl m_refusedUrl;

private Q_SLOTS:
    void initTestCase()
    {
        // Only this machine is ever contacted, and never through a proxy.
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);

        const QString text = QStringLiteral("<p>Цена: 1 500 т.р.</p>");
        auto& r = m_server.routes;
        r["/cp1251"] = page("text/html", Cp1251(text));
        r["/header-utf8"] = page("text/html; charset=UTF-8", text.toUtf8());
        r["/header-koi8"] = page("text/html; charset=\"koi8-r\"", QByteArray("<p>\xf3\xd2\xc5\xc4\xc1</p>"));
        r["/header-beats-meta"] =
            page("text/html; charset=windows-1251", Cp1251(QStringLiteral("<meta charset=utf-8>") + text));
        r["/meta-utf8"] = page("text/html", QStringLiteral("<head><meta charset=\"utf-8\"></head>").toUtf8() +
                                                text.toUtf8());
        r["/meta-http-equiv"] = page(
            "text/html",
            QStringLiteral("<META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=utf-8'>").toUtf8() +
                text.toUtf8());
        r["/moved"] = response("302 Found", "Location: /cp1251\r\n", "");
        r["/to-file"] = response("301 Moved Permanently", "Location: file:///etc/hostname\r\n", "");
        r["/loop"] = response("302 Found", "Location: /loop\r\n", "");
        r["/error"] = response("500 Internal Server Error", "Content-Type: text/html\r\n", "<p>сбой</p>");
        r["/declared-big"] = page("text/html", QByteArray(5000, 'x'));
        r["/busy"] = response("503 Service Unavailable", "Retry-After: 7\r\n", "");
        r["/too-many"] = response("429 Too Many Requests", "Retry-After: 99999\r\n", "");
        r["/error-after"] = response("500 Internal Server Error", "Retry-After: 7\r\n", "");
        m_server.notFound = response("404 Not Found", "", "нет такой страницы");
        m_server.special = [this](QTcpSocket* socket, const QByteArray& path) {
            return misbehave(socket, path, m_bomb, m_wholeBomb);
        };
        QVERIFY(m_server.Listen());

        const QString refusing = testsupport::RefusingAddress();
        QVERIFY(!refusing.isEmpty());
        m_refusedUrl = QUrl(refusing + u'/');
    }

    void load_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<qint64>("sizeCap");
        QTest::addColumn<QString>("expectedHtml");
        QTest::addColumn<QString>("expectedError"); // empty: the load succeeds
        QTest::addColumn<QString>("finalPath");

        const int t = PageLoader::kDefaultTimeoutMs;
        const qint64 cap = PageLoader::kDefaultSizeCap;
        const QString text = QStringLiteral("<p>Цена: 1 500 т.р.</p>");
        const QString none;
        auto row = [](const char* name, const QUrl& url, int timeoutMs, qint64 sizeCap, const QString& html,
                      const QString& error, const QString& finalPath) {
            QTest::newRow(name) << url << timeoutMs << sizeCap << html << error << finalPath;
        };
        const testsupport::HttpServer& s = m_server;
        row("windows-1251 when nothing is declared", s.Url("/cp1251"), t, cap, text, none,
            QStringLiteral("/cp1251"));
        row("charset in the header", s.Url("/header-utf8"), t, cap, text, none,
            QStringLiteral("/header-utf8"));
        row("quoted koi8-r charset in the header", s.Url("/header-koi8"), t, cap,
            QStringLiteral("<p>Среда</p>"), none, QStringLiteral("/header-koi8"));
        row("header beats meta", s.Url("/header-beats-meta"), t, cap,
            QStringLiteral("<meta charset=utf-8>") + text, none, QStringLiteral("/header-beats-meta"));
        row("meta charset", s.Url("/meta-utf8"), t, cap,
            QStringLiteral("<head><meta charset=\"utf-8\"></head>") + text, none,
            QStringLiteral("/meta-utf8"));
        row("meta http-equiv", s.Url("/meta-http-equiv"), t, cap,
            QStringLiteral("<META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=utf-8'>") + text, none,
            QStringLiteral("/meta-http-equiv"));
        row("redirect followed", s.Url("/moved"), t, cap, text, none, QStringLiteral("/cp1251"));
        row("redirect to a file refused", s.Url("/to-file"), t, cap, none,
            QStringLiteral("переадресация на адрес не http/https"), none);
        row("redirect loop", s.Url("/loop"), t, cap, none, QStringLiteral("переадресация по кругу"), none);
        row("endless redirects", s.Url("/hop/0"), t, cap, none, QStringLiteral("слишком много переадресаций"),
            none);
        row("missing page", s.Url("/missing"), t, cap, none, QStringLiteral("HTTP 404"), none);
        row("server error", s.Url("/error"), t, cap, none, QStringLiteral("HTTP 500"), none);
        row("server never answers", s.Url("/silent"), 300, cap, none, QStringLiteral("нет ответа за 0,3 с"),
            none);
        row("declared length over the cap", s.Url("/declared-big"), t, 1000, none,
            QStringLiteral("страница больше 1000 байт"), none);
        row("endless page cut at the cap", s.Url("/endless"), t, 64 * 1024, none,
            QStringLiteral("страница больше 64 КБ"), none);
        row("port closed", m_refusedUrl, t, cap, none, QStringLiteral("сервер недоступен"), none);
        row("file address", QUrl(QStringLiteral("file:///etc/hostname")), t, cap, none,
            QStringLiteral("адрес не http/https"), none);
        row("script address", QUrl(QStringLiteral("javascript:alert(1)")), t, cap, none,
            QStringLiteral("адрес не http/https"), none);
        row("ftp address", QUrl(QStringLiteral("ftp://127.0.0.1/")), t, cap, none,
            QStringLiteral("адрес не http/https"), none);
        row("no host", QUrl(QStringLiteral("http:///x")), t, cap, none, QStringLiteral("неверный адрес"),
            none);
    }
    void load()
    {
        QFETCH(QUrl, url);
        QFETCH(int, timeoutMs);
        QFETCH(qint64, sizeCap);
        QFETCH(QString, expectedHtml);
        QFETCH(QString, expectedError);
        QFETCH(QString, finalPath);

        PageLoader loader;
        loader.setTimeout(timeoutMs);
        loader.setSizeCap(sizeCap);
        QSignalSpy finished(&loader, &PageLoader::finished);
        loader.load(url);
        QVERIFY(loader.isLoading());
        QCOMPARE(finished.count(), 0); // never from inside load()
        QVERIFY(finished.wait(5000));
        QVERIFY(testsupport::StaysQuiet(finished, 20)); // a second finished() would show here
        QCOMPARE(finished.count(), 1);
        QVERIFY(!loader.isLoading());
        QCOMPARE(loader.errorText(), expectedError);
        QCOMPARE(loader.ok(), expectedError.isEmpty());
        QCOMPARE(loader.html(), expectedHtml);
        if (!finalPath.isEmpty()) QCOMPARE(loader.finalUrl().path(), finalPath);
    }

    // A page that never ends, plain or inflating from a small compressed
    // stream, is given up at the cap with what was read dropped: memory never
    // holds much more than the cap, whatever the site sends.
    void memoryStaysNearTheCap_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("a gigabyte streamed") << QByteArray("/flood");
        QTest::newRow("a compressed page inflating to a gigabyte") << QByteArray("/bomb");
    }
    void memoryStaysNearTheCap()
    {
        QFETCH(QByteArray, path);
        if (m_bomb.isEmpty()) m_bomb = deflateBomb(qint64(1) << 30);
        const qint64 before = peakMemory();
        if (before < 0) QSKIP("no /proc/self/status");
        PageLoader loader;
        QSignalSpy finished(&loader, &PageLoader::finished);
        loader.load(m_server.Url(path.constData()));
        QVERIFY(finished.wait(60000));
        QCOMPARE(loader.errorText(), QStringLiteral("страница больше 8 МБ"));
        const qint64 grown = peakMemory() - before;
#if defined(__SANITIZE_ADDRESS__)
        // AddressSanitizer keeps freed blocks in quarantine, so every buffer read
        // and dropped still counts; a page held whole would still be a gigabyte.
        constexpr qint64 bound = 256 * 1024 * 1024;
#else
        constexpr qint64 bound = 64 * 1024 * 1024;
#endif
        QVERIFY2(grown < bound, qPrintable(QString::number(grown)));
    }

    // A compressed page sent whole, that inflates far past the cap, fails at
    // the cap at once, not when the time limit runs out.
    void compressedPageFailsAtTheCapAtOnce()
    {
        // As a server compresses it: gzip at the best ratio (qCompress's zlib
        // stream without its length and wrapping, in gzip's header).
        if (m_wholeBomb.isEmpty()) {
            const QByteArray zlib = qCompress(QByteArray(32 << 20, ' '), 9);
            m_wholeBomb = QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10) + zlib.mid(6, zlib.size() - 10);
        }
        PageLoader loader;
        loader.setTimeout(20000);
        QSignalSpy finished(&loader, &PageLoader::finished);
        QElapsedTimer timer;
        timer.start();
        loader.load(m_server.Url("/bomb-whole"));
        QVERIFY(finished.wait(30000));
        QCOMPARE(loader.errorText(), QStringLiteral("страница больше 8 МБ"));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    // Retry-After counts on 429 and 503 only, in seconds or as an HTTP date,
    // never beyond five minutes.
    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("seconds") << QByteArray(" 120 ") << qint64(120000);
        QTest::newRow("zero") << QByteArray("0") << qint64(0);
        QTest::newRow("beyond five minutes") << QByteArray("3600") << qint64(300000);
        QTest::newRow("a date a minute on") << QByteArray("Fri, 11 Dec 2026 15:01:00 GMT") << qint64(60000);
        QTest::newRow("a date past") << QByteArray("Fri, 11 Dec 2026 14:00:00 GMT") << qint64(0);
        QTest::newRow("a date a day on") << QByteArray("Sat, 12 Dec 2026 15:00:00 GMT") << qint64(300000);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("words") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }
    void retryAfter()
    {
        QFETCH(QByteArray, value);
        const QDateTime now(QDate(2026, 12, 11), QTime(15, 0), Qt::UTC);
        QTEST(PageLoader::parseRetryAfter(value, now), "ms");
    }
    void retryAfterOfAnAnswer()
    {
        for (const auto& [path, ms] :
             {std::pair{"/busy", qint64(7000)}, std::pair{"/too-many", qint64(300000)},
              std::pair{"/error-after", qint64(-1)}, std::pair{"/cp1251", qint64(-1)}}) {
            PageLoader loader;
            QSignalSpy finished(&loader, &PageLoader::finished);
            loader.load(m_server.Url(path));
            QVERIFY(finished.wait(5000));
            QCOMPARE(loader.retryAfterMs(), ms);
        }
    }

    void newLoadOrAbortDropsTheOldOne()
    {
        PageLoader loader;
        QSignalSpy finished(&loader, &PageLoader::finished);
        loader.load(m_server.Url("/silent"));
        loader.load(m_server.Url("/cp1251"));
        QVERIFY(finished.wait(5000));
        QVERIFY(testsupport::StaysQuiet(finished, 20));
        QCOMPARE(finished.count(), 1);
        QVERIFY(loader.ok());
        QCOMPARE(loader.url(), m_server.Url("/cp1251"));

        loader.load(m_server.Url("/silent"));
        loader.abort();
        QVERIFY(!loader.isLoading());
        QCOMPARE(loader.errorText(), QStringLiteral("загрузка прервана"));
        QVERIFY(loader.html().isEmpty());
        QVERIFY(testsupport::StaysQuiet(finished, 50));
        QCOMPARE(finished.count(), 1);
    }

    void decodeHtml_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("expected");
        const QByteArray yes = QStringLiteral("да").toUtf8();
        const QString da = QStringLiteral("да");
        QTest::newRow("byte order mark beats the header")
            << QByteArray("\xEF\xBB\xBF" + yes) << QByteArray("text/html; charset=windows-1251") << da;
        QTest::newRow("unknown header charset falls to meta")
            << QByteArray("<meta charset=utf-8>" + yes) << QByteArray("text/html; charset=bogus")
            << QStringLiteral("<meta charset=utf-8>") + da;
        QTest::newRow("meta naming UTF-16 means UTF-8")
            << QByteArray("<meta charset=utf-16>" + yes) << QByteArray()
            << QStringLiteral("<meta charset=utf-16>") + da;
        QTest::newRow("meta in a comment ignored")
            << QByteArray("<!-- <meta charset=utf-8> -->" + Cp1251(da)) << QByteArray()
            << QStringLiteral("<!-- <meta charset=utf-8> -->") + da;
        QTest::newRow("content without http-equiv ignored")
            << QByteArray("<meta content='text/html; charset=utf-8'>" + Cp1251(da)) << QByteArray()
            << QStringLiteral("<meta content='text/html; charset=utf-8'>") + da;
        QTest::newRow("meta after the body starts ignored")
            << QByteArray("<body><meta charset=utf-8>" + Cp1251(da)) << QByteArray()
            << QStringLiteral("<body><meta charset=utf-8>") + da;
        const QByteArray longHead =
            "<head><script>" + QByteArray(3000, ' ') + "</script><meta charset=utf-8>";
        QTest::newRow("meta far down the head")
            << QByteArray(longHead + yes) << QByteArray() << QString::fromLatin1(longHead) + da;
        QTest::newRow("Latin-1 label reads as windows-1252")
            << QByteArray("\x80") << QByteArray("text/html; charset=iso-8859-1") << QStringLiteral("\u20AC");
    }
    void decodeHtml()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, expected);
        QCOMPARE(PageLoader::decodeHtml(bytes, contentType), expected);
    }

    // A windows-1251 page under a wrong label is read as windows-1251, with a
    // note, where the label gives replacement characters or Latin-1 words;
    // pages the label reads well keep it.
    void mislabelledPages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("noted"); // 1 yes, 0 no, -1 either
        const QString russian = QStringLiteral("<td>Центр</td><td>ул. Ленина, д. 5, кирпичный дом</td>");
        const QString french = QStringLiteral("<p>Café crème à la française, très élégant</p>");
        QTest::newRow("windows-1251 labelled utf-8")
            << Cp1251(russian) << QByteArray("text/html; charset=utf-8") << russian << 1;
        QTest::newRow("windows-1251 labelled windows-1252")
            << Cp1251(russian) << QByteArray("text/html; charset=windows-1252") << russian << 1;
        QTest::newRow("windows-1251 labelled iso-8859-1 in a meta")
            << QByteArray("<meta charset=iso-8859-1>") + Cp1251(russian) << QByteArray()
            << QStringLiteral("<meta charset=iso-8859-1>") + russian << 1;
        QTest::newRow("windows-1251 labelled iso-2022-jp")
            << Cp1251(russian) << QByteArray("text/html; charset=iso-2022-jp") << russian << -1;
        QTest::newRow("windows-1251 labelled utf-7")
            << Cp1251(russian) << QByteArray("text/html; charset=utf-7") << russian << -1;
        QTest::newRow("utf-8 as labelled")
            << russian.toUtf8() << QByteArray("text/html; charset=utf-8") << russian << 0;
        QTest::newRow("French in windows-1252 as labelled")
            << french.toLatin1() << QByteArray("text/html; charset=windows-1252") << french << 0;
        QTest::newRow("utf-8 with one broken byte stays utf-8")
            << QByteArray("<p>plain \xff text</p>") << QByteArray("text/html; charset=utf-8")
            << QStringLiteral("<p>plain \uFFFD text</p>") << 0;
    }
    void mislabelledPages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, expected);
        QFETCH(int, noted);
        QString note;
        const QString html = PageLoader::decodeHtml(bytes, contentType, &note);
        // iso-2022-jp and utf-7 either decode with replacement characters
        // (noted) or are unknown here (windows-1251 by default): Cyrillic either way.
        QCOMPARE(html, expected);
        if (noted == 1)
            QVERIFY2(note.contains(QStringLiteral("прочитана как windows-1251")), qPrintable(note));
        if (noted == 0) QVERIFY2(note.isEmpty(), qPrintable(note));
    }
};

QTEST_GUILESS_MAIN(TestPageLoader)
#include "tst_pageloader.moc"
