// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/KnowledgeBase.h"
#include "platform/CodePage.h"
#include "platform/FolderLock.h"
#include "platform/Version.h"
#include "store/Fields.h"
#include "support/TestSupport.h"

#include "InProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::ReadBytes;
using testsupport::RunCliProcess;
using testsupport::WriteBytes;

namespace {

using Result = testsupport::RunResult;

// The commands run in this process; the checks of the process itself (exit
// codes, streams, locks, signals) use testsupport::RunCliProcess.
// knows.txt with the price ranging over 1000..2000 (no range elsewhere), the
// accepted values of the district (value, formalized value, ...) and the kinds
// of the first attributes.
QByteArray knowledge(const QStringList& districtValues, const QStringList& kindTexts)
{
    KnowledgeBase kb;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const field::Field s = field::At(k);
        kb.AttributeMax[s] = -999999;
        kb.AttributeMin[s] = 999999;
        kb.AttributeKinds[s] = kindTexts.value(k);
    }
    kb.AttributeMax[field::Price] = 2000;
    kb.AttributeMin[field::Price] = 1000;
    for (qsizetype i = 0; i + 1 < districtValues.size(); i += 2)
        kb.AttributeValueLists[field::District].Append(districtValues[i], districtValues[i + 1]);
    return kb.SaveKnowledgeBytes();
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_db, m_kb;
    QByteArray m_dbBytes, m_kbBytes;

private Q_SLOTS:
    void init()
    {
        m_db = m_dir.filePath("database.txt");
        m_kb = m_dir.filePath("knows.txt");
        m_dbBytes = textfile::ToCp1251(QStringLiteral(
            "Центр|2|5|кирпичный|ул. Мира, 1|1500|54|32|8|Рынок|300|раздельный|есть|Дом|01.12.2026|"
            "Ремонт|9||\r\nЗаречье|1|1|панельный|ул. Лесная, 2|1200|31|18|6|Вокзал|200|совмещённый|"
            "нет|Дом|02.12.2026||5||\r\n"));
        m_kbBytes = knowledge(QStringList{"Центр", "90", "Заречье", "30"},
                              QStringList{kinds::ByValue, "", "", "", "", kinds::Numeric});
        WriteBytes(m_db, m_dbBytes);
        WriteBytes(m_kb, m_kbBytes);
    }

    void info()
    {
        const Result r = RunInProcess({"--data-dir", m_dir.path(), "info"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("Записей в базе данных: 2"));
        QVERIFY(r.out.contains("0\tРайон\tФормализованный числовым значением\t2\t999999\t-999999"));
        QVERIFY(r.out.contains("5\tЦена\tЧисловой\t0\t1000\t2000"));
    }

    void resaveKeepsBothFilesByteForByte()
    {
        const Result r = RunInProcess({"--data-dir", m_dir.path(), "resave"});
        QCOMPARE(r.code, 0);
        QCOMPARE(ReadBytes(m_db), m_dbBytes);
        QCOMPARE(ReadBytes(m_kb), m_kbBytes);
    }

    // A database.txt the user made read-only is not replaced: the command
    // fails with the reason and the file stays as it was.
    void writeProtectedDatabaseIsKept()
    {
        const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(m_db, readOnly));
        const Result r = RunInProcess({"--data-dir", m_dir.path(), "resave"});
        QVERIFY(QFile::setPermissions(m_db, readOnly | QFileDevice::WriteOwner));
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("database.txt") && r.err.contains("защищён от записи"), qPrintable(r.err));
        QCOMPARE(ReadBytes(m_db), m_dbBytes);
    }

    void failedLoadWritesNothing()
    {
        const QByteArray bad = m_dbBytes + "too|short\r\n";
        WriteBytes(m_db, bad);
        for (const char* cmd : {"resave", "info", "search"}) {
            const Result r = RunInProcess({"--data-dir", m_dir.path(), QString::fromLatin1(cmd)});
            QVERIFY(r.code != 0);
            QVERIFY2(r.err.contains("строка 3"), qPrintable(r.err));
            QVERIFY(r.out.isEmpty());
        }
        QCOMPARE(ReadBytes(m_db), bad);
        QCOMPARE(ReadBytes(m_kb), m_kbBytes);
        // A search answered from the files at rest names the file at fault
        // as a start does: the database first.
        WriteBytes(m_kb, "AttributeValues\r\nbad\r\n");
        for (bool badDatabase : {true, false}) {
            WriteBytes(m_db, badDatabase ? bad : m_dbBytes);
            const Result r = RunInProcess({"--data-dir", m_dir.path(), "search", "--wish", "0=Центр"});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QLatin1String(badDatabase ? "database.txt" : "knows.txt")),
                     qPrintable(r.err));
            QVERIFY(r.out.isEmpty());
        }
        WriteBytes(m_db, m_dbBytes);
        WriteBytes(m_kb, m_kbBytes);
        QVERIFY(RunInProcess({"--data-dir", m_dir.filePath("missing"), "info"}).code != 0);
        QVERIFY(RunInProcess({"--data-dir", m_dir.path(), "nonsense"}).code != 0);
    }

    void searchPrintsTheResultRows()
    {
        const Result r =
            RunInProcess({"--data-dir", m_dir.path(), "search", "--wish", "0=ЦЕНТР ", "--wish", "Цена=1500"});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0],
                 QStringLiteral("Центр\t2\t5/9\tкирпичный\tул. Мира, 1\t54/32/8\tРемонт\t1500\tДом\t 100"));
        // Заречье: 30 against 90 gives 40, 1200 against 1500 over 1000 gives 70: (1500 + 110) / 17.
        QVERIFY2(lines[1].startsWith(QStringLiteral("Заречье\t")) && lines[1].endsWith("\t 94.7"),
                 qPrintable(lines[1]));
        QVERIFY(RunInProcess({"--data-dir", m_dir.path(), "search", "--wish", "14=x"}).code != 0);
        QVERIFY(RunInProcess({"--data-dir", m_dir.path(), "search", "--wish", "Нет такого=x"}).code != 0);
    }

    // An empty accepted value rated by the expert does not turn an empty wish into a number.
    void emptyWishIsNoWish()
    {
        WriteBytes(m_kb, knowledge(QStringList{"", "20", "Центр", "90"}, QStringList{kinds::ByValue}));
        for (const QStringList& wishes : {QStringList{}, QStringList{"--wish", "0=  "}}) {
            const Result r = RunInProcess(QStringList{"--data-dir", m_dir.path(), "search"} + wishes);
            QCOMPARE(r.code, 0);
            const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 2);
            for (const QString& line : lines)
                QVERIFY2(line.endsWith("\t 100"), qPrintable(line));
        }
    }

    void searchExplainsAndWritesCsv()
    {
        const QStringList wishes{"--wish", "0=ЦЕНТР ", "--wish", "Цена=1500"};
        Result r = RunInProcess(QStringList{"--data-dir", m_dir.path(), "search", "--explain"} + wishes);
        QCOMPARE(r.code, 0);
        QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2 * 18);
        QVERIFY(lines[0].startsWith("Центр\t"));
        QCOMPARE(lines[1],
                 QStringLiteral("Район\tФормализованный числовым значением\tЦЕНТР \t90\tЦентр\t90\t100"));
        QCOMPARE(lines[2], QStringLiteral("Количество комнат\t\t\t\t2\t\t100"));
        QCOMPARE(lines[6], QStringLiteral("Цена\tЧисловой\t1500\t1500\t1500\t1500\t100"));
        QVERIFY(lines[18].startsWith("Заречье\t"));
        QCOMPARE(lines[19],
                 QStringLiteral("Район\tФормализованный числовым значением\tЦЕНТР \t90\tЗаречье\t30\t40"));
        QCOMPARE(lines[24], QStringLiteral("Цена\tЧисловой\t1500\t1500\t1200\t1200\t70"));

        // ";" unless "," is asked for; a field is quoted when it holds the separator.
        const auto csvLines = [&](const QStringList& extra) {
            const Result csv =
                RunInProcess(QStringList{"--data-dir", m_dir.path(), "search", "--csv"} + extra + wishes);
            if (csv.code != 0 || !csv.out.startsWith(QChar(0xFEFF))) return QStringList{};
            return csv.out.mid(1).split("\r\n", Qt::SkipEmptyParts);
        };
        lines = csvLines({});
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("Район;Количество комнат;"));
        QCOMPARE(lines[1],
                 QStringLiteral("Центр;2;5;кирпичный;ул. Мира, 1;1500;54;32;8;Рынок;300;раздельный;есть;Дом;"
                                "01.12.2026;Ремонт;9;100"));
        QVERIFY(lines[2].endsWith(";94.7"));
        lines = csvLines({"--csv-separator", ","});
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("Район,Количество комнат,"));
        QCOMPARE(
            lines[1],
            QStringLiteral("Центр,2,5,кирпичный,\"ул. Мира, 1\",1500,54,32,8,Рынок,300,раздельный,есть,Дом,"
                           "01.12.2026,Ремонт,9,100"));
        QVERIFY(lines[2].endsWith(",94.7"));
        QCOMPARE(csvLines({"--csv-separator=;"}), csvLines({}));
        QVERIFY(RunInProcess(QStringList{"--data-dir", m_dir.path(), "search", "--csv", "--explain"}).code !=
                0);
        QCOMPARE(
            RunInProcess(QStringList{"--data-dir", m_dir.path(), "search", "--csv", "--csv-separator", "\t"})
                .code,
            64);
    }

    void formula()
    {
        Result r = RunInProcess({"--data-dir", m_dir.path(), "formula", "Цена/Общая площадь"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral(" 27.77778\n"));
        r = RunInProcess({"--data-dir", m_dir.path(), "formula", "--listing", "2", "Цена/Полезная площадь"});
        QCOMPARE(r.out, QStringLiteral(" 66.66666\n"));
        r = RunInProcess(
            {"--data-dir", m_dir.path(), "formula", "--listing", "2", "Цена/(Общая площадь-31)"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.startsWith("ERROR: ") && r.out.contains("Деление на ноль"), qPrintable(r.out));
        QVERIFY(RunInProcess({"--data-dir", m_dir.path(), "formula", "--listing", "3", "1"}).code != 0);
    }

    // "--" ends the options: what follows is the formula even when it looks like one.
    void formulaAfterDoubleDash()
    {
        Result r = RunInProcess({"--data-dir", m_dir.path(), "formula", "--", "-3^2"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral(" 9\n"));
        r = RunInProcess({"--data-dir", m_dir.path(), "formula", "--listing", "2", "--", "--Этаж"});
        QCOMPARE(r.out, QStringLiteral(" 1\n"));
        r = RunInProcess({"--data-dir", m_dir.path(), "formula", "--", "--listing"});
        QCOMPARE(r.code, 1); // after "--" a formula, and not a valid one
        QCOMPARE(RunInProcess({"--data-dir", m_dir.path(), "formula", "--unknown", "1"}).code, 64);
        QCOMPARE(RunInProcess({"--data-dir", m_dir.path(), "formula", "1", "--", "2"}).code, 64);
        QCOMPARE(RunInProcess({"--data-dir", m_dir.path(), "--", "formula", "1"}).out,
                 QStringLiteral(" 1\n"));
        // A formula that starts with a minus is no option even without "--".
        QCOMPARE(RunInProcess({"--data-dir", m_dir.path(), "formula", "-3^2"}).out, QStringLiteral(" 9\n"));
        r = RunInProcess({"--data-dir", m_dir.path(), "formula", "--listing", "2", "-Этаж*2"});
        QCOMPARE(r.out, QStringLiteral("-2\n"));
        QCOMPARE(RunInProcess({"--data-dir", m_dir.path(), "formula", "-h"}).code, 0); // but -h is help
    }

    // A wrong command line changes nothing and says what is wrong, in the
    // command's words, with its usage line.
    void usageFaults_data()
    {
        QTest::addColumn<QStringList>("args"); // after --data-dir FOLDER
        QTest::addColumn<QString>("err");
        QTest::newRow("no command") << QStringList{}
                                    << "Использование: vestrana-cli [--data-dir ПАПКА] КОМАНДА";
        QTest::newRow("unknown command") << QStringList{"nonsense"} << "Неизвестная команда: nonsense";
        QTest::newRow("no folder after --data-dir")
            << QStringList{"--data-dir"} << "После --data-dir нужна папка данных.\nИспользование: ";
        QTest::newRow("option of another command")
            << QStringList{"resave", "--dry-run"}
            << "Неизвестный параметр: --dry-run\nИспользование: resave\n";
        QTest::newRow("operand to a command without")
            << QStringList{"info", "extra"} << "Неизвестный параметр: extra\nИспользование: info\n";
        QTest::newRow("option without its value")
            << QStringList{"search", "--wish"} << "После --wish нужно значение.";
        QTest::newRow("flag given a value")
            << QStringList{"dedupe", "--dry-run=yes"} << "Неизвестный параметр: --dry-run=yes";
        QTest::newRow("letters after one dash") << QStringList{"search", "-xy"} << "Неизвестный параметр: -x";
        QTest::newRow("wish of no slot")
            << QStringList{"search", "--wish", "14=x"} << "Неверное пожелание «14=x»";
        QTest::newRow("CSV separator")
            << QStringList{"search", "--csv", "--csv-separator=|"} << "Неверный разделитель CSV «|»";
        QTest::newRow("--explain with --csv") << QStringList{"search", "--explain", "--csv"}
                                              << "Параметры --explain и --csv вместе не используются";
        QTest::newRow("no formula") << QStringList{"formula"}
                                    << "Использование: formula [--listing НОМЕР] [--] ФОРМУЛА";
        QTest::newRow("listing not a number")
            << QStringList{"formula", "--listing", "x", "1"} << "Номер записи должен быть целым числом";
        QTest::newRow("negative bound")
            << QStringList{"import", "--max-new", "-1"} << "Неверное число новых объявлений: «-1»";
        QTest::newRow("site not on the web")
            << QStringList{"import", "--site", "ftp://example.org"} << "Неверный адрес сайта";
        QTest::newRow("port out of range")
            << QStringList{"demo-site", "--port", "70000"}
            << "Неверный параметр: --port 70000\nИспользование: demo-site [--port ПОРТ]";
        QTest::newRow("no time") << QStringList{"demo-site", "--seconds=0"}
                                 << "Неверный параметр: --seconds 0";
    }
    void usageFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, err);
        const Result r = RunInProcess(QStringList{"--data-dir", m_dir.path()} + args);
        QCOMPARE(r.code, 64);
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(ReadBytes(m_db), m_dbBytes);
        QCOMPARE(ReadBytes(m_kb), m_kbBytes);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).size(), 2);
    }

    void programOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        const QString usage = QStringLiteral("Использование: vestrana-cli [--data-dir ПАПКА] КОМАНДА");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage;
        QTest::newRow("-h") << QStringList{"-h"} << 0 << usage;
        QTest::newRow("-h after --data-dir") << QStringList{"--data-dir", "x", "-h"} << 0 << usage;
        QTest::newRow("unknown short option") << QStringList{"-x", "info"} << 64 << QString();
        QTest::newRow("unknown option") << QStringList{"--frobnicate", "info"} << 64 << QString();
    }
    void programOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        const Result r = RunInProcess(args);
        QCOMPARE(r.code, code);
        if (out.isEmpty())
            QVERIFY2(r.err.contains(QStringLiteral("Неизвестный параметр: ") + args.first()),
                     qPrintable(r.err));
        else
            QVERIFY2(r.out.startsWith(out), qPrintable(r.out));
    }

    void everyCommandAcceptsHelp_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("option"); // a line of its help
        QTest::newRow("info") << "info"
                              << "-h, --help";
        QTest::newRow("resave") << "resave"
                                << "-h, --help";
        QTest::newRow("reindex") << "reindex"
                                 << "-h, --help";
        QTest::newRow("search") << "search"
                                << "  --csv-separator ;|,  разделитель полей CSV";
        QTest::newRow("formula") << "formula"
                                 << "  --listing НОМЕР  номер записи";
        QTest::newRow("import") << "import"
                                << "  --max-new N";
        QTest::newRow("dedupe") << "dedupe"
                                << "  --dry-run ";
        QTest::newRow("recode") << "recode"
                                << "-h, --help";
        QTest::newRow("repair") << "repair"
                                << "-h, --help";
        QTest::newRow("demo-site") << "demo-site"
                                   << "  --port ПОРТ ";
    }
    void everyCommandAcceptsHelp()
    {
        QFETCH(QString, command);
        QFETCH(QString, option);
        // Even without data: help loads nothing and writes nothing, whatever else is given.
        for (const QStringList& help :
             {QStringList{"--help"}, QStringList{"-h"}, QStringList{"--nonsense", "-h"}}) {
            const Result r =
                RunInProcess(QStringList{"--data-dir", m_dir.filePath("missing"), command} + help);
            QCOMPARE(r.code, 0);
            QVERIFY2(
                r.out.startsWith(QStringLiteral("Использование: vestrana-cli [--data-dir ПАПКА] ") + command),
                qPrintable(r.out));
            QVERIFY2(r.out.contains(option), qPrintable(r.out));
            QVERIFY(r.err.isEmpty());
        }
    }

    // Commands that only read create no missing file and leave no trace.
    void readOnlyCommandsWriteNothing()
    {
        QTemporaryDir empty;
        for (const QStringList& cmd : {QStringList{"info"}, QStringList{"search", "--wish", "0=Центр"},
                                       QStringList{"formula", "1+2"}}) {
            const Result r = RunInProcess(QStringList{"--data-dir", empty.path()} + cmd);
            QVERIFY2(r.code == 0 || cmd[0] == "formula", qPrintable(r.err));
            QCOMPARE(QDir(empty.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList());
        }
        // A command that writes creates what is missing, as the program's start does.
        QCOMPARE(RunInProcess({"--data-dir", empty.path(), "resave"}).code, 0);
        QVERIFY(QFile::exists(empty.filePath("database.txt")) && QFile::exists(empty.filePath("knows.txt")));
    }

    // The tool as a process: exit codes, the answer on stdout and messages
    // on stderr, UTF-8 on both.
    void toolProcess_data()
    {
        QTest::addColumn<QStringList>("args"); // after --data-dir FOLDER
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // its start; empty: nothing
        QTest::addColumn<QString>("err"); // a part; empty: nothing
        QTest::newRow("version") << QStringList{"--version"} << 0 << "vestrana-cli " + ProgramVersion() + "\n"
                                 << "";
        QTest::newRow("search with a hint")
            << QStringList{"search", "--wish", "Цена=дёшево"} << 0 << "Центр\t"
            << "не число";
        QTest::newRow("failed formula") << QStringList{"formula", "1/0"} << 1 << "ERROR: "
                                        << "";
        QTest::newRow("unknown option") << QStringList{"info", "-x"} << 64 << ""
                                        << "Неизвестный параметр: -x";
        QTest::newRow("failed load") << QStringList{"info"} << 2 << ""
                                     << "Ошибка загрузки: ";
    }
    void toolProcess()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        if (code == 2) WriteBytes(m_db, "too|short\r\n");
        const Result r = RunCliProcess(QStringList{"--data-dir", m_dir.path()} + args);
        QVERIFY2(r.code == code, qPrintable(r.err));
        QVERIFY2(out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(out), qPrintable(r.out));
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), qPrintable(r.err));
    }

    // The CSV on stdout is the file the window saves: UTF-8 with its mark.
    void csvBytes()
    {
        QProcess p;
        p.start(qEnvironmentVariable("VESTRANA_CLI"), {"--data-dir", m_dir.path(), "search", "--csv"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("\xEF\xBB\xBFРайон;"));
    }

    // A termination request closes the demo site normally, with its count.
    void demoSiteStopsOnSignal()
    {
        QProcess p;
        p.start(qEnvironmentVariable("VESTRANA_CLI"),
                {"--data-dir", m_dir.path(), "demo-site", "--port", "0", "--count", "1"});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("(объявлений: 1)\n"), 20000);
        p.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 20000);
        out += p.readAllStandardOutput();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.endsWith("Сайт закрыт, запросов: 0.\n"), out.constData());
    }

    // While another process holds the data folder, commands that write refuse
    // (exit code 75) and say who holds it; commands that read still work.
    void writersRefuseWhileTheFolderIsHeld()
    {
        auto lock = LockDataFolder(m_dir.path());
        QVERIFY(lock);
        // However old the lock file, a running holder keeps it.
        const QByteArray lockPath = QFile::encodeName(m_dir.filePath(DataFolderLockName()));
        struct timeval old[2] = {{::time(nullptr) - 86400, 0}, {::time(nullptr) - 86400, 0}};
        QCOMPARE(::utimes(lockPath.constData(), old), 0);
        const QString pid = QString::number(QCoreApplication::applicationPid());
        for (const QStringList& cmd : {QStringList{"resave"}, QStringList{"reindex"},
                                       QStringList{"import", "--site", "http://127.0.0.1:9"}}) {
            const Result r = RunCliProcess(QStringList{"--data-dir", m_dir.path()} + cmd);
            QCOMPARE(r.code, 75);
            QVERIFY2(r.err.contains("занята") && r.err.contains("процесс " + pid), qPrintable(r.err));
            QVERIFY(r.out.isEmpty());
        }
        QCOMPARE(ReadBytes(m_db), m_dbBytes);
        QCOMPARE(ReadBytes(m_kb), m_kbBytes);
        QCOMPARE(RunCliProcess({"--data-dir", m_dir.path(), "info"}).code, 0);
        QCOMPARE(RunCliProcess({"--data-dir", m_dir.path(), "formula", "1+2"}).code, 0);
        lock.reset();
        QCOMPARE(RunCliProcess({"--data-dir", m_dir.path(), "resave"}).code, 0);
    }

    // A lock left by a process that died without releasing it is taken over.
    void staleLockIsTakenOver()
    {
        const pid_t child = ::fork();
        if (child == 0) {
            QLockFile lock(m_dir.filePath(DataFolderLockName()));
            ::_exit(lock.tryLock(0) ? 0 : 1); // exits holding it, as a crash would
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(QFile::exists(m_dir.filePath(DataFolderLockName())));
        const Result r = RunCliProcess({"--data-dir", m_dir.path(), "resave"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(!QFile::exists(m_dir.filePath(DataFolderLockName()))); // released at the end
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
