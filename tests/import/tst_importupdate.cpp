// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ImportMerge.h"
#include "import/ImportRun.h"
#include "platform/CodePage.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "sample/ListingGenerator.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// A listing site synchronised again and again: the flats the database holds
// are brought up to date in place, not appended once more.

namespace {

QString address(int index)
{
    return sample::GenerateListing(quint64(index))[field::Address];
}

// Sample listing `index` as the database holds it after loading: every field
// as generated, the floor apart from the storeys.
RecordPtr sampleListing(int index)
{
    const auto f = sample::GenerateListing(quint64(index));
    auto r = std::make_shared<Record>();
    for (field::Field k : field::AllFields)
        r->SetRecord(k, f[k]);
    return r;
}

struct Outcome
{
    QStringList log;
    ImportResult result;
};

Outcome runImport(Program& program, const QString& site, bool updateExisting = true, int timeoutMs = 30000)
{
    Outcome o;
    ImportHooks hooks;
    hooks.log = [&](const QString& line) { o.log << line; };
    hooks.UseEventLoop(0);
    LoaderPageSource pages(timeoutMs);
    o.result = SyncStart(program, site, pages, hooks, ImportOptions{.updateExisting = updateExisting});
    return o;
}

QString updatedLine(int index)
{
    return QStringLiteral("Обновлены данные квартиры на ") + address(index);
}

const QString kCompleted = QStringLiteral("================= Завершено ================ ");

// The hand-entered listing every database here starts with: it is on no site.
Program& withHandEntered(Program& program)
{
    fixtures::AddListing(program, {"Центр", "2", "5", "кирпичный", "ул. Своя, 7", "1500", "54"});
    return program;
}

QString cli()
{
    return qEnvironmentVariable("VESTRANA_CLI");
}

} // namespace

class TestImportUpdate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The second run finds every flat of the first: nothing new, nothing
    // appended; a flat the database held before the first run (stored with
    // its floor apart from its storeys, while the site writes "5/9") counts
    // as held already.
    void secondRunAddsNothing()
    {
        DemoSite site({.count = 5, .pageSize = 3});
        QVERIFY(site.Listen());
        Program program;
        withHandEntered(program);
        program.Records.Items.Add(sampleListing(1));
        QVERIFY(!sampleListing(1)->GetRecord(field::Storeys).isEmpty());

        const Outcome first = runImport(program, site.Address());
        QVERIFY(first.result.completed);
        QCOMPARE(first.log.last(), QStringLiteral("Новых объявлений: 4, обновлено: 0, без изменений: 1."));
        QCOMPARE(first.log[first.log.size() - 2], kCompleted);
        QCOMPARE(program.Records.Items.Count(), 6);
        const int afterFirst = program.Records.Items.Count();
        QList<QStringList> held;
        for (const RecordPtr& r : program.Records.Items)
            held << testsupport::FieldsOf(*r);

        const Outcome second = runImport(program, site.Address());
        QVERIFY(second.result.completed);
        QCOMPARE(second.result.taken, qint64(5));
        QCOMPARE(second.log.last(), QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 5."));
        QVERIFY(second.log.filter(QStringLiteral("Обновлены")).isEmpty());
        QCOMPARE(program.Records.Items.Count(), afterFirst);
        for (int i = 0; i < afterFirst; ++i)
            QCOMPARE(testsupport::FieldsOf(*program.Records.Items.at(i)), held[i]);
    }

    // A flat offered at a new price: its listing takes the price where it
    // stands, the log says so right after the listing's line, and no copy
    // is appended.
    void changedPriceUpdatesInPlace()
    {
        Program program;
        withHandEntered(program);
        {
            DemoSite site({.count = 5, .pageSize = 3});
            QVERIFY(site.Listen());
            QVERIFY(runImport(program, site.Address()).result.completed);
        }
        fixtures::AddListing(program, {"Заречье", "1", "1", "панельный", "ул. Лесная, 2"});
        const RecordPtr listing = program.Records.Items.Item(4); // sample listing 2
        QCOMPARE(listing->GetRecord(field::Address), address(2));
        const QString price = QString::number(sample::GenerateListing(2)[field::Price].toInt() + 250);

        DemoSite repriced({.count = 5, .pageSize = 3, .prices = {{2, price}}});
        QVERIFY(repriced.Listen());
        const Outcome o = runImport(program, repriced.Address());

        QVERIFY(o.result.completed);
        QCOMPARE(program.Records.Items.Count(), 7);
        QCOMPARE(program.Records.Items.Item(4), listing);
        QCOMPARE(listing->GetRecord(field::Price), price);
        QStringList expected = testsupport::FieldsOf(*sampleListing(2));
        expected[5] = price;
        QCOMPARE(testsupport::FieldsOf(*listing), expected);
        const qsizetype at = o.log.indexOf(QStringLiteral("Обработка данных квартиры на ") + address(2));
        QVERIFY(at > 0);
        QCOMPARE(o.log.value(at + 1), updatedLine(2));
        QCOMPARE(o.log.filter(QStringLiteral("Обновлены")).size(), 1);
        QCOMPARE(o.log.last(), QStringLiteral("Новых объявлений: 0, обновлено: 1, без изменений: 4."));
        QCOMPARE(o.result.updated, qint64(1));
    }

    // A detail page that fails this time gives no values: the listing keeps
    // the ones it has, and so does the reserved field the site never fills.
    void valuesTheSiteDidNotGiveAreKept()
    {
        Program program;
        DemoSite site({.count = 2});
        QVERIFY(site.Listen());
        QVERIFY(runImport(program, site.Address()).result.completed);
        program.Records.Items.Item(1)->SetRecord(field::Reserved, QStringLiteral("своё"));
        const QStringList held = testsupport::FieldsOf(*program.Records.Items.Item(1));
        QVERIFY(!held[12].isEmpty());

        DemoSite stalled({.count = 2, .stall = DemoSiteStall::DetailPages});
        QVERIFY(stalled.Listen());
        const Outcome o = runImport(program, stalled.Address(), true, 200);

        QCOMPARE(o.log.last(), QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 2."));
        QCOMPARE(program.Records.Items.Count(), 2);
        QCOMPARE(testsupport::FieldsOf(*program.Records.Items.Item(1)), held);
    }

    // With updating off every listing is appended, copies included, and the
    // log is the plain one; a combined floor is split either way.
    void appendAllAppendsCopies()
    {
        DemoSite site({.count = 5, .pageSize = 3});
        QVERIFY(site.Listen());
        Program program;
        withHandEntered(program);
        for (int run = 1; run <= 2; ++run) {
            const Outcome o = runImport(program, site.Address(), false);
            QVERIFY(o.result.completed);
            QCOMPARE(o.log.last(), kCompleted);
            QVERIFY(o.log.filter(QStringLiteral("Обновлены")).isEmpty());
            QCOMPARE(o.result.added, qint64(5));
            QCOMPARE(program.Records.Items.Count(), 1 + 5 * run);
        }
        for (int i = 0; i < 10; ++i)
            QCOMPARE(testsupport::FieldsOf(*program.Records.Items.at(1 + i)),
                     testsupport::FieldsOf(*sampleListing(i % 5)));
    }

    // The update rule on its own: new texts win, empty ones keep what is held.
    void updateTakesEveryNewValue()
    {
        Record held, fresh;
        for (field::Field k : field::AllFields)
            held.SetRecord(k, QStringLiteral("было %1").arg(field::Index(k)));
        QVERIFY(!ImportMerge::Update(held, held));
        fresh.SetRecord(field::Price, QStringLiteral("2100"));
        fresh.SetRecord(field::Telephone, QStringLiteral("есть"));
        fresh.SetRecord(field::Date, QStringLiteral("было 14"));
        fresh.SetRecord(field::Reserved, QStringLiteral("чужое"));
        QVERIFY(ImportMerge::Update(held, fresh));
        for (field::Field k : field::AllFields) {
            const QString expected = k == field::Price       ? QStringLiteral("2100")
                                     : k == field::Telephone ? QStringLiteral("есть")
                                                             : QStringLiteral("было %1").arg(field::Index(k));
            QCOMPARE(held.GetRecord(k), expected);
        }
    }

    // The headless tool, run as a user would each week: the second import
    // keeps the count of the first, --append-all appends every listing again, --clear
    // still empties the database first.
    void commandLineRunsAgainAndAgain()
    {
        if (cli().isEmpty()) QSKIP("VESTRANA_CLI is not set");
        DemoSite site({.count = 3, .pageSize = 2});
        QVERIFY(site.Listen());
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("database.txt"));
        testsupport::WriteBytes(
            database, textfile::ToCp1251(QString(sample::DatabaseLine(sample::GenerateListing(100)) +
                                                 QStringLiteral("\r\n"))));
        const auto import = [&](const QStringList& options) {
            QProcess process;
            QSignalSpy finished(&process, &QProcess::finished);
            process.start(cli(),
                          QStringList{QStringLiteral("--data-dir"), dir.path(), QStringLiteral("import"),
                                      QStringLiteral("--site"), site.Address()} +
                              options);
            // The site answers on this thread: the spy's wait runs its events while the tool runs.
            if (process.state() != QProcess::NotRunning) finished.wait(30000);
            return std::make_pair(process.exitCode(),
                                  QString::fromUtf8(process.readAllStandardOutput()).split(u'\n'));
        };
        const auto lines = [&] { return int(testsupport::ReadBytes(database).count("\r\n")); };

        auto [code, out] = import({});
        QCOMPARE(code, 0);
        QVERIFY(out.contains(QStringLiteral("Новых объявлений: 3, обновлено: 0, без изменений: 0.")));
        QCOMPARE(lines(), 4);
        std::tie(code, out) = import({});
        QCOMPARE(code, 0);
        QVERIFY(out.contains(QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 3.")));
        QVERIFY(out.contains(QStringLiteral("Файл database.txt сохранён, записей: 4.")));
        QCOMPARE(lines(), 4);
        std::tie(code, out) = import({QStringLiteral("--append-all")});
        QCOMPARE(code, 0);
        QVERIFY(out.filter(QStringLiteral("Новых объявлений")).isEmpty());
        QCOMPARE(lines(), 7);
        std::tie(code, out) = import({QStringLiteral("--clear")});
        QCOMPARE(code, 0);
        QVERIFY(out.contains(QStringLiteral("Новых объявлений: 3, обновлено: 0, без изменений: 0.")));
        QCOMPARE(lines(), 3);
        QVERIFY(import({QStringLiteral("--append")}).first != 0);
    }
};

QTEST_GUILESS_MAIN(TestImportUpdate)
#include "tst_importupdate.moc"
