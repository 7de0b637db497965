// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/DataFolder.h"
#include "platform/Errors.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

// An installed layout in a scratch folder: prefix/bin holds the program, prefix/share/vestrana
// the sample data, home/vestrana is the user's data folder and elsewhere a folder given by option.
class TestDataFolder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void selectsTheFolder_data()
    {
        QTest::addColumn<bool>("programHasDatabase");
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<bool>("shareBeside");
        QTest::addColumn<bool>("option");
        QTest::addColumn<QStringList>("userHas");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("copied");

        const QStringList none;
        const QStringList both{"database.txt", "knows.txt"};
        QTest::newRow("build folder with its files stays")
            << true << true << false << false << none << "program" << none;
        QTest::newRow("writable portable folder without files stays")
            << false << true << false << false << none << "program" << none;
        QTest::newRow("read-only folder holding database.txt stays")
            << true << false << true << false << none << "program" << none;
        QTest::newRow("read-only program folder: user folder, first start copies the samples")
            << false << false << true << false << none << "user" << both;
        QTest::newRow("writable install prefix with share beside: user folder")
            << false << true << true << false << none << "user" << both;
        QTest::newRow("read-only and no samples installed: empty user folder")
            << false << false << false << false << none << "user" << none;
        QTest::newRow("--data-dir wins over everything")
            << true << false << true << true << none << "option" << none;
        QTest::newRow("existing user files are never overwritten")
            << false << false << true << false << both << "user" << none;
        QTest::newRow("only the missing file is copied")
            << false << false << true << false << QStringList{"database.txt"} << "user"
            << QStringList{"knows.txt"};
    }

    void selectsTheFolder()
    {
        QFETCH(bool, programHasDatabase);
        QFETCH(bool, programWritable);
        QFETCH(bool, shareBeside);
        QFETCH(bool, option);
        QFETCH(QStringList, userHas);
        QFETCH(QString, expected);
        QFETCH(QStringList, copied);

        QTemporaryDir tmp;
        const QString bin = tmp.filePath("prefix/bin");
        const QString user = tmp.filePath("home/vestrana");
        const QString elsewhere = tmp.filePath("elsewhere");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(elsewhere));
        if (programHasDatabase) WriteBytes(bin + "/database.txt", "program's own");
        if (shareBeside) {
            WriteBytes(tmp.filePath("prefix/share/vestrana/database.txt"), "sample database");
            WriteBytes(tmp.filePath("prefix/share/vestrana/knows.txt"), "sample knowledge");
        }
        for (const QString& name : userHas)
            WriteBytes(user + "/" + name, "user's " + name.toUtf8());

        DataFolderFacts facts;
        facts.ProgramDir = bin;
        facts.ProgramDirWritable = programWritable;
        facts.DataDirOption = option ? elsewhere : QString();
        facts.UserDataDir = user;
        const DataFolder chosen = SelectDataFolder(facts);

        const QString path = expected == "program" ? bin : expected == "user" ? user : elsewhere;
        QCOMPARE(chosen.Path, path);
        QCOMPARE(chosen.Copied, copied);
        if (expected != "user")
            QVERIFY2(!QFileInfo::exists(user), "the user's folder is made only when it is used");
        for (const QString& name : userHas)
            QCOMPARE(ReadBytes(user + "/" + name), "user's " + name.toUtf8());
        for (const QString& name : copied) {
            QCOMPARE(ReadBytes(user + "/" + name), ReadBytes(tmp.filePath("prefix/share/vestrana/" + name)));
            QVERIFY(QFileInfo(user + "/" + name).permissions() & QFile::WriteOwner);
        }
        QVERIFY2(QDir(user).entryList({"qt_temp*"}, QDir::Files | QDir::Hidden).isEmpty(),
                 "no copy left behind");
    }

    void userFolderThatCannotBeMadeIsAFileError()
    {
        QTemporaryDir tmp;
        WriteBytes(tmp.filePath("home"), "a file where the folder should be");
        DataFolderFacts facts;
        facts.ProgramDir = tmp.filePath("bin");
        facts.ProgramDirWritable = false;
        facts.UserDataDir = tmp.filePath("home/vestrana");
        try {
            SelectDataFolder(facts);
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QCOMPARE(e.kind(), VestranaError::Kind::File);
            QVERIFY(e.message().contains(QDir::toNativeSeparators(facts.UserDataDir)));
        }
    }

    void systemFolders_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("system");
        QTest::newRow("/usr/bin") << "/usr/bin" << true;
        QTest::newRow("/usr/local/bin") << "/usr/local/bin" << true;
        QTest::newRow("/opt/vestrana/bin") << "/opt/vestrana/bin" << true;
        QTest::newRow("/bin") << "/bin" << true;
        QTest::newRow("a name that only starts like /usr") << "/usrdata/vestrana" << false;
        QTest::newRow("dots that leave /usr") << "/usr/../home/u/vestrana" << false;
        QTest::newRow("a home folder") << "/home/u/vestrana" << false;
        QTest::newRow("a build folder") << "/tmp/build" << false;
    }

    void systemFolders()
    {
        QFETCH(QString, path);
        QFETCH(bool, system);
        QCOMPARE(IsSystemFolder(path), system);
    }
};

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
