// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"
#include "platform/FolderLock.h"
#include "support/TestSupport.h"

#include "InProcess.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

using Result = testsupport::RunResult;

Result run(const QString& dir, const QStringList& args)
{
    return RunInProcess(QStringList{"--data-dir", dir} + args);
}

QByteArray toUtf8(const QByteArray& cp1251)
{
    return textfile::FromCp1251(cp1251).toUtf8();
}

} // namespace

// The sample data saved as UTF-8 is refused with the way out, and `recode`
// brings back the very bytes of the windows-1251 files.
class TestRecode : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QByteArray m_db, m_kb; // the sample files as shipped, windows-1251

    QString file(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        const QString data = QStringLiteral(VESTRANA_SOURCE_DIR "/data/");
        m_db = ReadBytes(data + "database.txt");
        m_kb = ReadBytes(data + "knows.txt");
        QVERIFY(m_db.size() > 1000 && m_kb.size() > 100);
    }

    void init()
    {
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(file(name));
    }

    void sampleDataRoundTrip()
    {
        // As shipped: loads, and recode has nothing to do.
        WriteBytes(file("database.txt"), m_db);
        WriteBytes(file("knows.txt"), m_kb);
        QCOMPARE(run(m_dir.path(), {"info"}).code, 0);
        Result r = run(m_dir.path(), {"recode"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.count("уже в windows-1251"), 2);
        QCOMPARE(ReadBytes(file("database.txt")), m_db);
        QVERIFY(!QFile::exists(file("database.txt.utf8.bak")));

        // Saved as UTF-8: refused, naming the file and the command.
        WriteBytes(file("database.txt"), toUtf8(m_db));
        WriteBytes(file("knows.txt"), toUtf8(m_kb));
        r = run(m_dir.path(), {"info"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("database.txt") && r.err.contains("в кодировке UTF-8") &&
                     r.err.contains("vestrana-cli recode"),
                 qPrintable(r.err));

        r = run(m_dir.path(), {"recode"});
        QCOMPARE(r.code, 0);
        QCOMPARE(ReadBytes(file("database.txt")), m_db);
        QCOMPARE(ReadBytes(file("knows.txt")), m_kb);
        QCOMPARE(ReadBytes(file("database.txt.utf8.bak")), toUtf8(m_db));
        QCOMPARE(ReadBytes(file("knows.txt.utf8.bak")), toUtf8(m_kb));
        QCOMPARE(run(m_dir.path(), {"info"}).code, 0);

        // A second UTF-8 copy would overwrite the kept one: refused, nothing changes.
        WriteBytes(file("knows.txt"), toUtf8(m_kb));
        r = run(m_dir.path(), {"recode"});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains("knows.txt.utf8.bak"));
        QCOMPARE(ReadBytes(file("knows.txt")), toUtf8(m_kb));
    }

    // One character without a windows-1251 form: the line is named and neither
    // file changes, though the other one could be converted.
    void characterWithoutCodePageFormIsRefused()
    {
        const QByteArray db = toUtf8(m_db);
        QList<QByteArray> lines = toUtf8(m_kb).split('\n');
        lines[2].prepend(QStringLiteral("Ōкно ").toUtf8());
        const QByteArray kb = lines.join('\n');
        WriteBytes(file("database.txt"), db);
        WriteBytes(file("knows.txt"), kb);
        const Result r = run(m_dir.path(), {"recode"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("knows.txt") && r.err.contains("строка 3") && r.err.contains("«Ō» (U+014C)"),
                 qPrintable(r.err));
        QCOMPARE(ReadBytes(file("database.txt")), db);
        QCOMPARE(ReadBytes(file("knows.txt")), kb);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).size(), 2);
    }

    void waitsForTheFolderLikeEveryWriter()
    {
        WriteBytes(file("database.txt"), toUtf8(m_db));
        WriteBytes(file("knows.txt"), toUtf8(m_kb));
        {
            const auto lock = LockDataFolder(m_dir.path());
            QCOMPARE(run(m_dir.path(), {"recode"}).code, 75);
            QCOMPARE(ReadBytes(file("database.txt")), toUtf8(m_db));
        }
        QCOMPARE(run(m_dir.path(), {"recode"}).code, 0);
    }
};

QTEST_GUILESS_MAIN(TestRecode)
#include "tst_recode.moc"
