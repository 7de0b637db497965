// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ClassicLayout.h"
#include "import/ImportRun.h"
#include "platform/CodePage.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "sample/ListingGenerator.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/HttpServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using Pages = QList<QList<int>>; // the sample listings each list page of a run yields

QString address(int index)
{
    return sample::GenerateListing(quint64(index))[field::Address];
}

QString summary(int count)
{
    return QStringLiteral("------------ данные страницы обработаны, итого  %1 записей в БД.  ------------")
        .arg(count);
}

QString loading(int page)
{
    return QStringLiteral("Загрузка  %1 страницы...").arg(page);
}

QString processing(int index)
{
    return QStringLiteral("Обработка данных квартиры на ") + address(index);
}

const QString kConnecting = QStringLiteral("Соединение с сервером...");
const QString kCompleted = QStringLiteral("================= Завершено ================ ");
const QString kStopped = QStringLiteral("Завершено.");
const QString kFailedPrefix = QStringLiteral("Не удалось загрузить ");
// The layout of the runs: the program's default.
const ClassicLayout kLayout;

// The log of a run that takes `pages` after `existing` listings and reaches its
// total. A listing taken again (a page served once more) updates nothing.
QStringList completedLog(const Pages& pages, int existing)
{
    QStringList log{kConnecting};
    int count = existing;
    QSet<int> seen;
    int repeated = 0;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        log << loading(int(p + 1));
        for (int i : pages[p]) {
            log << processing(i);
            if (seen.contains(i)) {
                ++repeated;
            } else {
                seen.insert(i);
                ++count;
            }
        }
        if (p + 1 < pages.size()) log << summary(count);
    }
    return log << kCompleted
               << QStringLiteral("Новых объявлений: %1, обновлено: 0, без изменений: %2.")
                      .arg(seen.size())
                      .arg(repeated);
}

// A failure line without its reason, which belongs to the page loader.
QString failed(const QUrl& url)
{
    return kFailedPrefix + url.toString() + QStringLiteral(": …");
}

QStringList withoutReasons(QStringList log)
{
    for (QString& line : log) {
        if (!line.startsWith(kFailedPrefix)) continue;
        const qsizetype colon = line.indexOf(QStringLiteral(": "), kFailedPrefix.size());
        if (colon > 0 && colon + 2 < line.size()) line = line.left(colon) + QStringLiteral(": …");
    }
    return log;
}

// Sample listing `index` as the import takes it from the demo site: the
// floor the site writes with its storeys ("5/9") split as loading splits it.
Record importedSample(int index)
{
    const auto f = sample::GenerateListing(quint64(index));
    Record r;
    for (field::Field k : field::AttributeFields)
        r.SetRecord(k, f[k]);
    return r;
}

struct Outcome
{
    QStringList log;
    ImportResult result;
    int clears = 0;
    qint64 barMaximum = -1;
    qint64 barValue = -1;
    bool busyDuringRun = false;
    qint64 ms = 0;
};

using StopWhen = std::function<bool(const QStringList& log)>;

// Tests on this machine need no pauses between requests; pages are not
// asked for again unless a test is about that.
ImportOptions quick()
{
    ImportOptions o;
    o.requestsPerSecond = 0;
    o.retries = 0;
    return o;
}

Outcome runImport(Program& program, const QString& site, PageSource& pages, const StopWhen& stopWhen = {},
                  const ImportOptions& options = quick())
{
    Outcome o;
    ImportHooks hooks;
    hooks.clearLog = [&] {
        o.log.clear();
        ++o.clears;
    };
    hooks.log = [&](const QString& line) { o.log << line; };
    hooks.steps = [&](qint64 maximum, qint64 value) {
        o.barMaximum = maximum;
        o.barValue = value;
    };
    hooks.stopRequested = [&] {
        o.busyDuringRun = program.Busy();
        return stopWhen && stopWhen(o.log);
    };
    hooks.UseEventLoop(0);
    QElapsedTimer t;
    t.start();
    o.result = SyncStart(program, site, pages, hooks, options);
    o.ms = t.elapsed();
    return o;
}

Outcome runImport(Program& program, const QString& site, const StopWhen& stopWhen = {}, int timeoutMs = 30000,
                  const ImportOptions& options = quick())
{
    LoaderPageSource pages(timeoutMs);
    return runImport(program, site, pages, stopWhen, options);
}

QString givenUp(const QString& why)
{
    return QStringLiteral("Импорт остановлен: ") + why;
}

// A site on 127.0.0.1 that answers each request target with stored bytes (404
// for the rest) and notes when every request came.
using RouteServer = testsupport::HttpServer;

QByteArray targetOf(const QUrl& url)
{
    return url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

// A list page of the site's layout with one listing row per link: the first
// row is the head, the link stands in the description cell.
QString listPageWithLinks(const QStringList& links)
{
    QString html = QStringLiteral("<table><tr><td>Дата</td></tr>");
    for (qsizetype i = 0; i < links.size(); ++i)
        html +=
            QStringLiteral("<tr><td>1</td><td></td><td>2</td><td>3</td><td></td><td>ул. %1</td><td>40</td>"
                           "<td><a href=\"%2\">описание</a></td><td>100</td><td>А</td></tr>")
                .arg(i)
                .arg(links[i].toHtmlEscaped());
    return html + QStringLiteral("</table>");
}

// True once the log's last line starts with `prefix` and has been the last for `ms`.
StopWhen afterLastLine(const QString& prefix, int ms)
{
    auto since = std::make_shared<QElapsedTimer>();
    return [=](const QStringList& log) {
        if (log.isEmpty() || !log.last().startsWith(prefix)) return false;
        if (!since->isValid()) since->start();
        return since->elapsed() >= ms;
    };
}

Program& withExisting(Program& program, int n)
{
    for (int i = 0; i < n; ++i)
        fixtures::AddListing(program, {QStringLiteral("прежняя %1").arg(i)});
    return program;
}

// Pages served from memory, each finishing on the next pass of the event loop.
class StoredPages : public PageSource
{
public:
    QHash<QString, QString> pages; // address -> HTML
    QStringList requested;
    int failuresBeforeSuccess = 0; // every address fails this many times first
    qint64 retryAfterMs = -1;      // what a failed load asks to wait
    QString decodingNote;          // what every page's decoding says

    void Load(const QUrl& url) override
    {
        m_failures = url == m_url ? m_failures + 1 : 1;
        m_url = url;
        m_loading = true;
        requested << url.toString();
        const quint64 generation = ++m_generation;
        QTimer::singleShot(0, [this, generation] {
            if (generation == m_generation) m_loading = false;
        });
    }
    void Abort() override
    {
        ++m_generation;
        m_loading = false;
    }
    bool IsLoading() const override { return m_loading; }
    bool Ok() const override
    {
        return m_failures > failuresBeforeSuccess && pages.contains(m_url.toString());
    }
    QString ErrorText() const override { return Ok() ? QString() : QStringLiteral("HTTP 404"); }
    QString Html() const override { return pages.value(m_url.toString()); }
    QUrl FinalUrl() const override { return m_url; }
    qint64 RetryAfterMs() const override { return Ok() ? -1 : retryAfterMs; }
    QString DecodingNote() const override { return Ok() ? decodingNote : QString(); }

private:
    QUrl m_url;
    int m_failures = 0; // loads of m_url in a row
    bool m_loading = false;
    quint64 m_generation = 0;
};

QString storedFile(const QString& name)
{
    return QString::fromUtf8(testsupport::ReadBytes(testsupport::DataFile(QStringLiteral("import/") + name)));
}

QUrl detailUrl(const DemoSite& site, int index)
{
    return QUrl(site.Address() + QStringLiteral("/index.php?m=r3&id=12&obj=") + QString::number(index + 1));
}

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

Q_DECLARE_METATYPE(Pages)

class TestImportRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void announcedTotal_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<qint64>("total");
        QTest::newRow("count before the line break")
            << "Продажа\r\nВсего предложений: 25\r\nСтраница 1" << qint64(25);
        QTest::newRow("letter case ignored") << "ВСЕГО ПРЕДЛОЖЕНИЙ:7\r\n" << qint64(7);
        QTest::newRow("blank between digits") << "Всего предложений: 1 234\r\n" << qint64(1234);
        QTest::newRow("halves to even") << "Всего предложений: 12.5\r\n" << qint64(12);
        QTest::newRow("halves to even, up") << "Всего предложений: 13.5\r\n" << qint64(14);
        QTest::newRow("count on the next line") << "Всего предложений:\r\n25\r\n" << qint64(0);
        QTest::newRow("no carriage return after the phrase") << "Всего предложений: 25" << qint64(0);
        QTest::newRow("no phrase") << "Предложений нет\r\n" << qint64(0);
        QTest::newRow("words instead of a count") << "Всего предложений: много\r\n" << qint64(0);
        QTest::newRow("beyond the whole-number range") << "Всего предложений: 3000000000\r\n" << qint64(0);
        QTest::newRow("negative") << "Всего предложений: -3\r\n" << qint64(-3);
    }
    void announcedTotal()
    {
        QFETCH(QString, body);
        QFETCH(qint64, total);
        QCOMPARE(ClassicLayout::TotalInText(body), total);
    }

    void siteAddress()
    {
        QCOMPARE(kLayout.StartPageUrl(QStringLiteral("http://127.0.0.1:1")).toString(),
                 QStringLiteral("http://127.0.0.1:1/index.php?m=r3&id=12"));
        QCOMPARE(kLayout.ListPageUrl(QStringLiteral("http://127.0.0.1:1"), 12).toString(),
                 QStringLiteral(
                     "http://127.0.0.1:1/"
                     "index.php?razdel=12&priceb=0&pricee=0&dist=0&kom=0&street=&m=r3&id=12&s=&a=&page=12"));
        qunsetenv("VESTRANA_SITE");
        QCOMPARE(ListingSiteAddress(), QStringLiteral("http://127.0.0.1:8808"));
        qputenv("VESTRANA_SITE", " http://127.0.0.1:9/ ");
        QCOMPARE(ListingSiteAddress(), QStringLiteral("http://127.0.0.1:9"));
        qunsetenv("VESTRANA_SITE");
    }

    // Runs that reach the announced total, after two listings already there.
    void completedRuns_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("announced");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<Pages>("pages");
        QTest::newRow("total reached mid-page: no summary of that page")
            << 7 << 3 << 5 << false << Pages{{0, 1, 2}, {3, 4}};
        QTest::newRow("total reached on a page's last row")
            << 6 << 3 << 6 << false << Pages{{0, 1, 2}, {3, 4, 5}};
        QTest::newRow("UTF-8 pages") << 3 << 2 << 3 << true << Pages{{0, 1}, {2}};
    }
    void completedRuns()
    {
        QFETCH(int, count);
        QFETCH(int, pageSize);
        QFETCH(int, announced);
        QFETCH(bool, utf8);
        QFETCH(Pages, pages);
        DemoSite site({.count = count, .announced = announced, .pageSize = pageSize, .utf8 = utf8});
        QVERIFY(site.Listen());
        Program program;
        withExisting(program, 2);

        const Outcome o = runImport(program, site.Address());

        QCOMPARE(o.log, completedLog(pages, 2));
        QCOMPARE(o.clears, 1);
        QVERIFY(o.result.completed);
        QVERIFY(o.busyDuringRun);
        QVERIFY(!program.Busy());
        QCOMPARE(o.barMaximum, qint64(announced + 1));
        QCOMPARE(o.barValue, o.result.taken);
        QList<int> taken;
        qint64 listings = 0;
        for (const QList<int>& p : pages) {
            listings += p.size();
            for (int i : p)
                if (!taken.contains(i)) taken << i;
        }
        QCOMPARE(o.result.taken, listings);
        QCOMPARE(program.Records.Items.Count(), 2 + int(taken.size()));
        QCOMPARE(program.Records.Items.Item(1)->GetRecord(field::District), QStringLiteral("прежняя 0"));
        QCOMPARE(program.Records.Items.Item(2)->GetRecord(field::District), QStringLiteral("прежняя 1"));
        for (int i = 0; i < taken.size(); ++i)
            QCOMPARE(testsupport::FieldsOf(*program.Records.Items.Item(3 + i)),
                     testsupport::FieldsOf(importedSample(taken[i])));
    }

    // A start page whose total cannot be read gives the run no end but the
    // site's: it gives up at once, saying so, rather than stopping after one
    // listing as if complete.
    void unreadableTotalGivesUp()
    {
        DemoSite site({.count = 4, .announced = 0, .pageSize = 3});
        QVERIFY(site.Listen());
        Program program;
        withExisting(program, 2);
        const Outcome o = runImport(program, site.Address());
        QCOMPARE(o.log, (QStringList{kConnecting,
                                     givenUp(QStringLiteral("на начальной странице не удалось прочитать "
                                                            "общее число предложений («Всего "
                                                            "предложений: …»)"))}));
        QVERIFY(!o.result.completed);
        QVERIFY(o.result.gaveUp);
        QCOMPARE(program.Records.Items.Count(), 2);
    }

    // Before the first request, the run checks that the database can be saved
    // where it lies: otherwise the whole walk of the site would be in vain.
    void unsavableDatabaseStopsBeforeTheFirstRequest_data()
    {
        QTest::addColumn<bool>("missingFolder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("write-protected database.txt") << false << QStringLiteral("файл защищён от записи");
        QTest::newRow("no data folder") << true << QStringLiteral("папка не существует");
    }
    void unsavableDatabaseStopsBeforeTheFirstRequest()
    {
        QFETCH(bool, missingFolder);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString folder = missingFolder ? dir.filePath(QStringLiteral("нет")) : dir.path();
        if (!missingFolder) {
            testsupport::WriteBytes(dir.filePath(QStringLiteral("database.txt")), QByteArray());
            QVERIFY(
                QFile::setPermissions(dir.filePath(QStringLiteral("database.txt")), QFileDevice::ReadOwner));
        }
        StoredPages pages;
        Program program(folder);
        const Outcome o = runImport(program, QStringLiteral("http://127.0.0.1:8808"), pages);
        QCOMPARE(o.log.size(), 1);
        QVERIFY2(o.log[0].startsWith(QStringLiteral("Импорт остановлен: базу данных")) &&
                     o.log[0].contains(reason),
                 qPrintable(o.log[0]));
        QVERIFY(o.result.gaveUp);
        QVERIFY(pages.requested.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), missingFolder ? 0 : 1);
    }

    // A site without any listing row is not asked for pages without end: the
    // run gives up after a few list pages in a row without a listing.
    void noListingRowsGiveUp()
    {
        DemoSite site({.count = 0, .announced = 5});
        QVERIFY(site.Listen());
        Program program;
        withExisting(program, 2);
        const Outcome o = runImport(program, site.Address());
        QCOMPARE(
            o.log,
            (QStringList{kConnecting, loading(1), summary(2), loading(2), summary(2), loading(3), summary(2),
                         givenUp(QStringLiteral("на 3 страницах подряд нет ни одного предложения, "
                                                "последняя ") +
                                 kLayout.ListPageUrl(site.Address(), 3).toString())}));
        QVERIFY(!o.result.completed);
        QVERIFY(o.result.gaveUp);
        QCOMPARE(site.Requests(), 4);
        QCOMPARE(program.Records.Items.Count(), 2);
    }

    // Every wait gives way to a stop, however long the page would take.
    void stops_data()
    {
        QTest::addColumn<DemoSiteStall>("stall");
        QTest::addColumn<int>("stopAfterMs"); // -1: at once
        QTest::addColumn<QStringList>("log");
        QTest::newRow("at once") << DemoSiteStall::None << -1 << QStringList{kConnecting, kStopped};
        QTest::newRow("while the start page loads")
            << DemoSiteStall::StartPage << 100 << QStringList{kConnecting, kStopped};
        QTest::newRow("while a list page loads")
            << DemoSiteStall::ListPages << 100 << QStringList{kConnecting, loading(1), kStopped};
        // The listing being built is dropped.
        QTest::newRow("while a detail page loads")
            << DemoSiteStall::DetailPages << 100
            << QStringList{kConnecting, loading(1), processing(0), kStopped};
    }
    void stops()
    {
        QFETCH(DemoSiteStall, stall);
        QFETCH(int, stopAfterMs);
        QFETCH(QStringList, log);
        DemoSite site({.count = 5, .stall = stall});
        QVERIFY(site.Listen());
        Program program;
        withExisting(program, 2);
        const StopWhen stop = stopAfterMs < 0 ? StopWhen([](const QStringList&) { return true; })
                                              : afterLastLine(log[log.size() - 2], stopAfterMs);
        const Outcome o = runImport(program, site.Address(), stop);
        QCOMPARE(o.log, log);
        QVERIFY(!o.result.completed);
        QCOMPARE(o.result.taken, qint64(0));
        QCOMPARE(program.Records.Items.Count(), 2);
        QVERIFY(!program.Busy());
        QVERIFY2(o.ms < 5000, qPrintable(QString::number(o.ms)));
    }

    // A start or list page that fails, or comes empty, is asked for again after
    // a pause that doubles, a few times; then the run gives up, saying which
    // address failed and why. Redirect loops and redirects off the web count
    // as failures like any other.
    void failingPagesRetriedThenGivenUp_data()
    {
        QTest::addColumn<QByteArray>("answer"); // for the start page; empty: nothing listens
        QTest::addColumn<QString>("reason");
        const auto redirect = [](const QByteArray& to) {
            return RouteServer::Response("302 Found", "Location: " + to + "\r\n", "");
        };
        QTest::newRow("nothing listens") << QByteArray() << QStringLiteral("сервер недоступен");
        QTest::newRow("server error")
            << RouteServer::Response("500 Internal Server Error", "", "сбой") << QStringLiteral("HTTP 500");
        QTest::newRow("empty page") << RouteServer::Response("200 OK", "Content-Type: text/html\r\n", " \r\n")
                                    << QStringLiteral("пустая страница");
        QTest::newRow("redirect loop") << redirect(targetOf(kLayout.StartPageUrl(QStringLiteral("http://h"))))
                                       << QStringLiteral("переадресация по кругу");
        QTest::newRow("redirect to a file")
            << redirect("file:///etc/passwd") << QStringLiteral("переадресация на адрес не http/https");
        QTest::newRow("redirect to ftp")
            << redirect("ftp://127.0.0.1/pub") << QStringLiteral("переадресация на адрес не http/https");
    }
    void failingPagesRetriedThenGivenUp()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, reason);
        RouteServer server;
        QVERIFY(server.Listen());
        const QString site =
            answer.isEmpty() ? QStringLiteral("http://127.0.0.1:%1").arg(closedPort()) : server.Address();
        const QUrl start = kLayout.StartPageUrl(site);
        server.routes.insert(targetOf(start), answer);
        ImportOptions options = quick();
        options.retries = 3;
        options.firstPauseMs = 40;
        options.maxPauseMs = 100;
        Program program;
        const Outcome o = runImport(program, site, {}, 30000, options);

        const QString failedStart = kFailedPrefix + start.toString() + QStringLiteral(": ") + reason;
        QCOMPARE(o.log, (QStringList{kConnecting, failedStart + QStringLiteral("; повтор через 0,04 с"),
                                     failedStart + QStringLiteral("; повтор через 0,08 с"),
                                     failedStart + QStringLiteral("; повтор через 0,1 с"),
                                     givenUp(QStringLiteral("не удалось загрузить ") + start.toString() +
                                             QStringLiteral(": ") + reason)}));
        QVERIFY(!o.result.completed);
        QVERIFY(o.result.gaveUp);
        QCOMPARE(program.Records.Items.Count(), 0);
        if (answer.isEmpty()) return;
        QCOMPARE(server.targets, QList<QByteArray>(4, targetOf(start)));
        // The pauses are never shorter than asked (the timers never fire
        // early); the server may see the first request late, by less than a pause.
        const qint64 span = server.times.last() - server.times.first();
        QVERIFY2(span >= 40 + 80 + 100 - 40, qPrintable(QString::number(span)));
    }

    // A page that fails once and then comes is read as if nothing happened;
    // a detail page that never comes is asked for as often as any other.
    void pageThatComesOnTheSecondTry()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808");
        const QUrl detail(site + QStringLiteral("/obj/1.html"));
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 1<br></p>"));
        pages.pages.insert(kLayout.ListPageUrl(site, 1).toString(),
                           listPageWithLinks({QStringLiteral("/obj/1.html")}));
        pages.failuresBeforeSuccess = 1;
        ImportOptions options = quick();
        options.retries = 2;
        options.firstPauseMs = 1;
        Program program;
        const Outcome o = runImport(program, site, pages, {}, options);
        QVERIFY(o.result.completed);
        QCOMPARE(withoutReasons(o.log),
                 (QStringList{kConnecting, failed(kLayout.StartPageUrl(site)), loading(1),
                              failed(kLayout.ListPageUrl(site, 1)),
                              QStringLiteral("Обработка данных квартиры на ул. 0"), failed(detail),
                              failed(detail), failed(detail), kCompleted,
                              QStringLiteral("Новых объявлений: 1, обновлено: 0, без изменений: 0.")}));
        QVERIFY(o.log[1].endsWith(QStringLiteral("; повтор через 0,001 с")));
        QCOMPARE(o.log[7], kFailedPrefix + detail.toString() + QStringLiteral(": HTTP 404"));
        QCOMPARE(pages.requested.size(), 2 + 2 + 3);
        QCOMPARE(program.Records.Items.Count(), 1);
    }

    // A site that answers "ask again in so long" (Retry-After) is not asked
    // sooner than that, however short the run's own pause, and the log says so.
    void siteAskedWaitIsHonoured()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808");
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 1<br></p>"));
        pages.pages.insert(kLayout.ListPageUrl(site, 1).toString(), listPageWithLinks({}));
        pages.failuresBeforeSuccess = 1;
        pages.retryAfterMs = 300;
        ImportOptions options = quick();
        options.retries = 1;
        options.firstPauseMs = 1;
        Program program;
        QElapsedTimer timer;
        timer.start();
        const Outcome o = runImport(program, site, pages, {}, options);
        QVERIFY(timer.elapsed() >= 2 * 300);
        QVERIFY2(o.log.value(1).endsWith(QStringLiteral("; сайт просит подождать, повтор через 0,3 с")),
                 qPrintable(o.log.value(1)));
        QCOMPARE(pages.requested.mid(0, 2),
                 (QStringList{kLayout.StartPageUrl(site).toString(), kLayout.StartPageUrl(site).toString()}));
    }

    // A page read against its label (a windows-1251 site labelled otherwise)
    // is logged once for the run, not for every page.
    void decodingNoteLoggedOnce()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808");
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 1<br></p>"));
        pages.pages.insert(kLayout.ListPageUrl(site, 1).toString(),
                           listPageWithLinks({QStringLiteral("/obj/1.html")}));
        pages.pages.insert(site + QStringLiteral("/obj/1.html"), QStringLiteral("<p>описание</p>"));
        pages.decodingNote = QStringLiteral("прочитана как windows-1251");
        Program program;
        const Outcome o = runImport(program, site, pages, {}, quick());
        QVERIFY(o.result.completed);
        QCOMPARE(o.log.filter(pages.decodingNote).size(), 1);
        QCOMPARE(o.log.value(1),
                 kLayout.StartPageUrl(site).toString() + QStringLiteral(": ") + pages.decodingNote);
    }

    // A detail page that still fails leaves the listing's detail fields empty
    // and the run goes on; the detail pages of a few listings in a row failing
    // end it.
    void failedDetailPages()
    {
        {
            DemoSite site({.count = 2, .stall = DemoSiteStall::DetailPages});
            QVERIFY(site.Listen());
            Program program;
            const Outcome o = runImport(program, site.Address(), {}, 200);
            QCOMPARE(withoutReasons(o.log),
                     (QStringList{kConnecting, loading(1), processing(0), failed(detailUrl(site, 0)),
                                  processing(1), failed(detailUrl(site, 1)), kCompleted,
                                  QStringLiteral("Новых объявлений: 2, обновлено: 0, без изменений: 0.")}));
            QVERIFY(o.log[3].contains(QStringLiteral("0,2 с")));
            QCOMPARE(program.Records.Items.Count(), 2);
            for (int i = 0; i < 2; ++i) {
                Record expected = importedSample(i);
                for (field::Field k : {field::District, field::HouseType, field::Stop, field::StopDistance,
                                       field::Bathroom, field::Telephone})
                    expected.SetRecord(k, QString());
                QCOMPARE(testsupport::FieldsOf(*program.Records.Items.Item(i + 1)),
                         testsupport::FieldsOf(expected));
            }
        }
        {
            DemoSite site({.count = 5, .stall = DemoSiteStall::DetailPages});
            QVERIFY(site.Listen());
            Program program;
            const Outcome o = runImport(program, site.Address(), {}, 200);
            QCOMPARE(withoutReasons(o.log),
                     (QStringList{
                         kConnecting, loading(1), processing(0), failed(detailUrl(site, 0)), processing(1),
                         failed(detailUrl(site, 1)), processing(2), failed(detailUrl(site, 2)),
                         givenUp(QStringLiteral("не загрузились страницы 3 предложений подряд, последняя ") +
                                 detailUrl(site, 2).toString() + QStringLiteral(": нет ответа за 0,2 с"))}));
            QVERIFY(o.result.gaveUp);
            QCOMPARE(program.Records.Items.Count(), 3);
        }
    }

    // A stop ends the run at once, also during a pause before a page is asked for again.
    void stopDuringAPause()
    {
        Program program;
        const QString nowhere = QStringLiteral("http://127.0.0.1:") + QString::number(closedPort());
        ImportOptions options = quick();
        options.retries = 3;
        options.firstPauseMs = 60000;
        const Outcome o = runImport(program, nowhere, afterLastLine(kFailedPrefix, 100), 30000, options);
        QCOMPARE(withoutReasons(o.log),
                 (QStringList{kConnecting, failed(kLayout.StartPageUrl(nowhere)), kStopped}));
        QVERIFY(o.log[1].endsWith(QStringLiteral("; повтор через 60 с")));
        QVERIFY(!o.result.gaveUp);
        QVERIFY2(o.ms < 5000, qPrintable(QString::number(o.ms)));
    }

    // Requests to the site keep the rate the options allow, redirects
    // included; the program's own default is a few a second.
    void requestRateLimited()
    {
        QVERIFY(ImportOptions().requestsPerSecond > 0 && ImportOptions().requestsPerSecond <= 5);
        RouteServer server;
        QVERIFY(server.Listen());
        const QString site = server.Address();
        server.routes.insert(targetOf(kLayout.StartPageUrl(site)),
                             RouteServer::Response("301 Moved", "Location: /start\r\n", ""));
        const QByteArray utf8 = "Content-Type: text/html; charset=utf-8\r\n";
        server.routes.insert(
            "/start", RouteServer::Response("200 OK", utf8,
                                            QStringLiteral("<p>Всего предложений: 3<br></p>").toUtf8()));
        server.routes.insert(
            targetOf(kLayout.ListPageUrl(site, 1)),
            RouteServer::Response("200 OK", utf8, listPageWithLinks({"/d/1", "/d/2", "/d/3"}).toUtf8()));
        for (const char* d : {"/d/1", "/d/2", "/d/3"})
            server.routes.insert(d, RouteServer::Response("200 OK", utf8, "<p>detail</p>"));
        ImportOptions options = quick();
        options.requestsPerSecond = 10;
        Program program;
        const Outcome o = runImport(program, site, {}, 30000, options);
        QVERIFY(o.result.completed);
        QCOMPARE(server.targets.size(), 6);
        // Five gaps of at least 100 ms; the server may see the first request
        // late, by less than a gap.
        const qint64 span = server.times.last() - server.times.first();
        QVERIFY2(span >= 5 * 100 - 100, qPrintable(QString::number(span)));
    }

    void siteLinks_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("follow");
        QTest::newRow("same host, other port") << "http://nedv.ru"
                                               << "https://NEDV.ru:8080/a" << true;
        QTest::newRow("subdomain") << "http://nedv.ru"
                                   << "http://a.b.nedv.ru/" << true;
        QTest::newRow("name ending alike") << "http://nedv.ru"
                                           << "http://xnedv.ru/" << false;
        QTest::newRow("parent domain") << "http://a.nedv.ru"
                                       << "http://nedv.ru/" << false;
        QTest::newRow("site as a subdomain of the link") << "http://nedv.ru"
                                                         << "http://nedv.ru.evil.ru/" << false;
        QTest::newRow("same address by number") << "http://127.0.0.1:8808"
                                                << "http://127.0.0.1/x" << true;
        QTest::newRow("no subdomains of a number") << "http://1.2.3.4"
                                                   << "http://5.1.2.3.4/" << false;
        QTest::newRow("no host") << "http://nedv.ru"
                                 << "file:///etc/passwd" << false;
    }
    void siteLinks()
    {
        QFETCH(QString, site);
        QFETCH(QString, link);
        QFETCH(bool, follow);
        QCOMPARE(IsSiteLink(site, QUrl(link)), follow);
    }

    // Only links to the listing site's own host and its subdomains are
    // followed: a cell holding "\\host\share" or a link elsewhere is not.
    void detailLinksToOtherSitesNotFollowed()
    {
        const QString site = QStringLiteral("http://nedv.example.ru");
        const QStringList links{QStringLiteral("\\\\files\\share"),
                                QStringLiteral("http://evil.example/1"),
                                QStringLiteral("http://foto.nedv.example.ru/2"),
                                QStringLiteral("http://nedv.example.ru.evil.example/3"),
                                QStringLiteral("http://example.ru/4"),
                                QStringLiteral("//NEDV.example.ru:81/5"),
                                QStringLiteral("http://xnedv.example.ru/6")};
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 7<br></p>"));
        pages.pages.insert(kLayout.ListPageUrl(site, 1).toString(), listPageWithLinks(links));
        pages.pages.insert(QStringLiteral("http://foto.nedv.example.ru/2"), QStringLiteral("<p>2</p>"));
        pages.pages.insert(QStringLiteral("http://nedv.example.ru:81/5"), QStringLiteral("<p>5</p>"));
        Program program;
        const Outcome o = runImport(program, site, pages);
        QVERIFY(o.result.completed);
        QCOMPARE(pages.requested,
                 (QStringList{kLayout.StartPageUrl(site).toString(), kLayout.ListPageUrl(site, 1).toString(),
                              QStringLiteral("http://foto.nedv.example.ru/2"),
                              QStringLiteral("http://nedv.example.ru:81/5")}));
        const QString notFollowed = QStringLiteral("Ссылка на другой сайт не загружается: ");
        QCOMPARE(o.log.filter(notFollowed),
                 (QStringList{notFollowed + QStringLiteral("http://files/share"),
                              notFollowed + QStringLiteral("http://evil.example/1"),
                              notFollowed + QStringLiteral("http://nedv.example.ru.evil.example/3"),
                              notFollowed + QStringLiteral("http://example.ru/4"),
                              notFollowed + QStringLiteral("http://xnedv.example.ru/6")}));
        QCOMPARE(program.Records.Items.Count(), 7);
    }

    // A stop ends the run at once while a large page is parsed, however long
    // gumbo takes over it (this one takes it many seconds).
    void stopWhileALargePageIsParsed()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808");
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 5<br></p>"));
        pages.pages.insert(kLayout.ListPageUrl(site, 1).toString(),
                           QStringLiteral("<td>a").repeated(8 * 1024 * 1024 / 5));
        Program program;
        // The first checkpoint after the page came ends the wait for it; the
        // next one is in the parse.
        int loaded = 0;
        const Outcome o = runImport(program, site, pages, [&](const QStringList& log) {
            return !pages.IsLoading() && log.last() == loading(1) && ++loaded == 2;
        });
        QCOMPARE(o.log, (QStringList{kConnecting, loading(1), kStopped}));
        QVERIFY2(o.ms < 5000, qPrintable(QString::number(o.ms)));
    }

    // Detail fields come from the listing's own detail page or stay empty;
    // links to scripts and files are never requested.
    void detailFieldsNeverComeFromAnotherListing()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808/site");
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 6<br>Смотреть</p>"));
        pages.pages.insert(kLayout.ListPageUrl(site, 1).toString(), storedFile(QStringLiteral("list.html")));
        pages.pages.insert(QStringLiteral("http://127.0.0.1:8808/site/obj.php?id=1"),
                           storedFile(QStringLiteral("detail18.html")));
        pages.pages.insert(QStringLiteral("http://127.0.0.1:8808/obj/2.html"),
                           QStringLiteral("<p>Объявление снято</p>"));
        Program program;
        const Outcome o = runImport(program, site, pages);

        QVERIFY(o.result.completed);
        QCOMPARE(pages.requested,
                 (QStringList{kLayout.StartPageUrl(site).toString(), kLayout.ListPageUrl(site, 1).toString(),
                              QStringLiteral("http://127.0.0.1:8808/site/obj.php?id=1"),
                              QStringLiteral("http://127.0.0.1:8808/obj/2.html"),
                              QStringLiteral("http://127.0.0.1:8808/index.php?m=r3&id=12&obj=6")}));
        QCOMPARE(o.log.mid(o.log.size() - 2),
                 (QStringList{kCompleted,
                              QStringLiteral("Новых объявлений: 6, обновлено: 0, без изменений: 0.")}));
        QCOMPARE(
            withoutReasons(o.log).filter(kFailedPrefix),
            QStringList{failed(QUrl(QStringLiteral("http://127.0.0.1:8808/index.php?m=r3&id=12&obj=6")))});
        QCOMPARE(program.Records.Items.Count(), 6);
        QCOMPARE(program.Records.Items.Item(1)->GetRecord(field::Telephone), QStringLiteral("значение 12"));
        for (int i = 2; i <= 6; ++i)
            for (field::Field k : {field::District, field::HouseType, field::Stop, field::StopDistance,
                                   field::Bathroom, field::Telephone})
                QVERIFY2(program.Records.Items.Item(i)->GetRecord(k).isEmpty(),
                         qPrintable(QStringLiteral("listing %1, field %2").arg(i).arg(field::Index(k))));
    }

    // The next detail page loads while a listing is read; it is never one
    // past the total, and a stop gives it up.
    void pagesLoadedAhead()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808/site");
        const QString first = QStringLiteral("http://127.0.0.1:8808/site/obj.php?id=1");
        const QString second = QStringLiteral("http://127.0.0.1:8808/obj/2.html");
        const auto pagesFor = [&](int total) {
            auto pages = std::make_unique<StoredPages>();
            pages->pages.insert(kLayout.StartPageUrl(site).toString(),
                                QStringLiteral("<p>Всего предложений: %1<br>Смотреть</p>").arg(total));
            pages->pages.insert(kLayout.ListPageUrl(site, 1).toString(),
                                storedFile(QStringLiteral("list.html")));
            pages->pages.insert(first, storedFile(QStringLiteral("detail18.html")));
            pages->pages.insert(second, storedFile(QStringLiteral("detail17.html")));
            return pages;
        };
        const QStringList upToSecond{kLayout.StartPageUrl(site).toString(),
                                     kLayout.ListPageUrl(site, 1).toString(), first, second};
        {
            const auto pages = pagesFor(1);
            Program program;
            const Outcome o = runImport(program, site, *pages);
            QVERIFY(o.result.completed);
            QCOMPARE(pages->requested, upToSecond.first(3));
            QCOMPARE(program.Records.Items.Count(), 1);
            QCOMPARE(program.Records.Items.Item(1)->GetRecord(field::Telephone),
                     QStringLiteral("значение 12"));
        }
        {
            const auto pages = pagesFor(6);
            Program program;
            const Outcome o = runImport(program, site, *pages, [&](const QStringList&) {
                return program.Records.Items.Count() == 1;
            });
            QVERIFY(!o.result.completed);
            QCOMPARE(o.log.last(), kStopped);
            QCOMPARE(pages->requested, upToSecond);
            QVERIFY(!pages->IsLoading());
            QCOMPARE(program.Records.Items.Count(), 1);
        }
    }

    // The headless tool: the same run, its log on stdout, database.txt saved
    // at the end; --clear empties the database first, VESTRANA_SITE or --site
    // names the site.
    void commandLine_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::addColumn<bool>("siteFromEnvironment");
        QTest::newRow("--clear, --site") << true << false;
        QTest::newRow("appending, VESTRANA_SITE") << false << true;
    }
    void commandLine()
    {
        QFETCH(bool, clear);
        QFETCH(bool, siteFromEnvironment);
        const QString cli = qEnvironmentVariable("VESTRANA_CLI");
        if (cli.isEmpty()) QSKIP("VESTRANA_CLI is not set");
        DemoSite site({.count = 3, .pageSize = 2});
        QVERIFY(site.Listen());
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("database.txt"));
        testsupport::WriteBytes(
            database, textfile::ToCp1251(QString(sample::DatabaseLine(sample::GenerateListing(100)) +
                                                 QStringLiteral("\r\n"))));

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QStringList args{QStringLiteral("--data-dir"), dir.path(), QStringLiteral("import")};
        if (siteFromEnvironment)
            env.insert(QStringLiteral("VESTRANA_SITE"), site.Address() + u'/');
        else
            args << QStringLiteral("--site") << site.Address();
        if (clear) args << QStringLiteral("--clear");
        process.setProcessEnvironment(env);
        process.start(cli, args);
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
        QCOMPARE(process.exitCode(), 0);

        const int existing = clear ? 0 : 1;
        QStringList out = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
        QCOMPARE(out.takeLast(), QString());
        QCOMPARE(out.takeLast(),
                 QStringLiteral("Файл database.txt сохранён, записей: %1.").arg(existing + 3));
        QCOMPARE(out, completedLog(Pages{{0, 1}, {2}}, existing));
        const QByteArray saved = testsupport::ReadBytes(database);
        QCOMPARE(saved.count("\r\n"), existing + 3);
        QCOMPARE(saved.startsWith(textfile::ToCp1251(sample::GenerateListing(100)[field::District])), !clear);
    }

    // A site cannot make the database unreadable: a listing of 5,000,000
    // characters on its list page and as many on its detail page has every
    // field cut to 4,000 (each cut logged), and the file saved then loads.
    void oversizedListingIsCutAndLoads()
    {
        const QString site = QStringLiteral("http://127.0.0.1:8808");
        const QString detail = site + QStringLiteral("/obj/1.html");
        StoredPages pages;
        pages.pages.insert(kLayout.StartPageUrl(site).toString(),
                           QStringLiteral("<p>Всего предложений: 1<br></p>"));
        pages.pages.insert(
            kLayout.ListPageUrl(site, 1).toString(),
            QStringLiteral("<table><tr><td>Дата</td></tr><tr><td>1</td><td>2</td><td>3</td><td></td>"
                           "<td></td><td>ул. Длинная, 1</td><td>40</td><td><a href=\"%1\">%2</a></td>"
                           "<td>100</td><td>А</td></tr></table>")
                .arg(detail, QString(5000000, u'Я')));
        QString detailPage = QStringLiteral("<table>");
        for (int row = 0; row < 18; ++row)
            detailPage +=
                QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(row).arg(QString(277000, u'ж'));
        pages.pages.insert(detail, detailPage + QStringLiteral("</table>"));
        Program program;
        const Outcome o = runImport(program, site, pages);

        QVERIFY2(o.result.completed, qPrintable(o.log.join(u'\n')));
        QCOMPARE(program.Records.Items.Count(), 1);
        const Record& listing = *program.Records.Items.Item(1);
        QCOMPARE(listing.Field(field::Description).size(), kMaxImportedFieldChars);
        QCOMPARE(listing.Field(field::District).size(), kMaxImportedFieldChars);
        QVERIFY(o.log.contains(QStringLiteral("Поле «Описание» обрезано до 4000 знаков (было 5000000): "
                                              "ул. Длинная, 1")));
        QCOMPARE(o.log.filter(QStringLiteral("обрезано до 4000 знаков")).size(), 7);

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("database.txt"));
        program.Records.SaveToFile(file);
        Records loaded;
        loaded.LoadFromFile(file);
        QCOMPARE(loaded.Items.Count(), 1);
        QCOMPARE(testsupport::FieldsOf(*loaded.Items.Item(1)), testsupport::FieldsOf(listing));
    }

    // Emptying the database waits for the run's first listing: a run that
    // ends before it, whatever the reason, leaves database.txt byte for byte
    // as it was, from the import window's "Да" (the run's clearFirst, then
    // the save at the program's end) and from the command line's --clear
    // (which stops it during its first pause, or during the start page).
    void clearWaitsForTheFirstListing_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("commandLine");
        for (const char* failure : {"no answer", "server error", "redirect loop", "stop at the start page"}) {
            QTest::addRow("%s, window", failure) << QString::fromLatin1(failure) << false;
            QTest::addRow("%s, --clear", failure) << QString::fromLatin1(failure) << true;
        }
    }
    void clearWaitsForTheFirstListing()
    {
        QFETCH(QString, failure);
        QFETCH(bool, commandLine);
        const QString cli = qEnvironmentVariable("VESTRANA_CLI");
        if (commandLine && cli.isEmpty()) QSKIP("VESTRANA_CLI is not set");
        RouteServer server;
        QVERIFY(server.Listen());
        DemoSite stalling({.count = 3, .stall = DemoSiteStall::StartPage});
        QVERIFY(stalling.Listen());
        QString site = server.Address();
        const QByteArray start = targetOf(kLayout.StartPageUrl(site));
        if (failure == QLatin1String("no answer")) {
            site = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
        } else if (failure == QLatin1String("server error")) {
            server.routes.insert(start, RouteServer::Response("500 Internal Server Error", "", "сбой"));
        } else if (failure == QLatin1String("redirect loop")) {
            server.routes.insert(start,
                                 RouteServer::Response("302 Found", "Location: " + start + "\r\n", ""));
        } else {
            site = stalling.Address();
        }
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("database.txt"));
        const QByteArray before = textfile::ToCp1251(
            QString(sample::SampleDatabaseLines(3).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
        testsupport::WriteBytes(database, before);

        if (!commandLine) {
            Program program;
            program.Records.LoadFromFile(database);
            ImportOptions options = quick();
            options.clearFirst = true;
            const Outcome o = runImport(
                program, site, site == stalling.Address() ? afterLastLine(kConnecting, 100) : StopWhen(),
                30000, options);
            QVERIFY(!o.result.cleared);
            QCOMPARE(o.result.taken, qint64(0));
            QCOMPARE(o.log.last(),
                     QStringLiteral("Записи в БД не удалены: не получено ни одного объявления."));
            program.Records.SaveToFile(database);
            QCOMPARE(testsupport::ReadBytes(database), before);
            return;
        }
        QProcess process;
        process.start(cli, {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("import"),
                            QStringLiteral("--site"), site, QStringLiteral("--clear")});
        const QByteArray waitFor = site == stalling.Address() ? "Соединение" : "Не удалось загрузить";
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains(waitFor), 20000);
        process.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), 130);
        const QStringList lines = QString::fromUtf8(out).split(u'\n');
        QCOMPARE(lines.mid(lines.size() - 3),
                 (QStringList{QStringLiteral("Записи в БД не удалены: не получено ни одного объявления."),
                              QStringLiteral("Файл database.txt не изменён, записей: 3."), QString()}));
        QCOMPARE(testsupport::ReadBytes(database), before);
    }

    // A site that answers every page past its end with its last page again
    // (as the demo site does) ends the run: a page of listings already taken
    // in this run counts as an empty page, with copies appended or not. And
    // a run stops at its bound on new listings.
    void repeatedPagesAndTheBoundEndARun_data()
    {
        QTest::addColumn<bool>("update");
        QTest::addColumn<qint64>("bound");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("last");
        const QString repeats =
            givenUp(QStringLiteral("на 3 страницах подряд нет ни одного нового предложения, "
                                   "последняя "));
        QTest::newRow("repeating site, updating") << true << qint64(1000000) << 5 << repeats;
        QTest::newRow("repeating site, appending all") << false << qint64(1000000) << 5 << repeats;
        QTest::newRow("bound on new listings")
            << true << qint64(3) << 3
            << givenUp(QStringLiteral("добавлено новых объявлений: 3, больше одному импорту не положено"));
    }
    void repeatedPagesAndTheBoundEndARun()
    {
        QFETCH(bool, update);
        QFETCH(qint64, bound);
        QFETCH(int, added);
        QFETCH(QString, last);
        DemoSite site({.count = 5, .announced = 1000, .pageSize = 2});
        QVERIFY(site.Listen());
        Program program;
        ImportOptions options = quick();
        options.updateExisting = update;
        options.maxNewListings = bound;
        const Outcome o = runImport(program, site.Address(), {}, 30000, options);
        QVERIFY(o.log.last().startsWith(last));
        QVERIFY(o.result.gaveUp);
        QVERIFY(!o.result.completed);
        QCOMPARE(o.result.added, qint64(added));
        QCOMPARE(program.Records.Items.Count(), added);
        if (bound > added) {
            // Pages 1 to 3 hold the five listings; 4, 5 and 6 repeat page 3.
            QCOMPARE(o.result.pages, qint64(6));
            QCOMPARE(o.log.filter(QStringLiteral("уже полученные")).size(), 3);
            QCOMPARE(o.log.filter(QStringLiteral("Обработка данных")).size(), 5);
        }
    }

    // A termination request stops the run at its next checkpoint; stopped
    // before its first listing, even with --clear, it leaves the file as it was.
    void commandLineStopSaves()
    {
        const QString cli = qEnvironmentVariable("VESTRANA_CLI");
        if (cli.isEmpty()) QSKIP("VESTRANA_CLI is not set");
        DemoSite site({.count = 3, .stall = DemoSiteStall::DetailPages});
        QVERIFY(site.Listen());
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("database.txt"));
        const QByteArray before = textfile::ToCp1251(
            QString(sample::DatabaseLine(sample::GenerateListing(100)) + QStringLiteral("\r\n")));
        testsupport::WriteBytes(database, before);

        QProcess process;
        process.start(cli, {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("import"),
                            QStringLiteral("--site"), site.Address(), QStringLiteral("--clear")});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("Обработка данных"),
                                 20000);
        process.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(QString::fromUtf8(out).split(u'\n'),
                 (QStringList{kConnecting, loading(1), processing(0), kStopped,
                              QStringLiteral("Записи в БД не удалены: не получено ни одного объявления."),
                              QStringLiteral("Файл database.txt не изменён, записей: 1."), QString()}));
        QCOMPARE(testsupport::ReadBytes(database), before);
    }
};

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
