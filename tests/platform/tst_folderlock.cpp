// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

// Sets a file's (or a link's own) times an hour back, as a lock left by a power cut is.
void Age(const QString& path)
{
    const struct timeval old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    QCOMPARE(::lutimes(QFile::encodeName(path).constData(), old), 0);
}

} // namespace

// What stands at vestrana.lock when a writer starts, and whether it may take the folder.
class TestFolderLock : public QObject
{
    Q_OBJECT

    enum Shape {
        Empty,
        Garbage,
        Unreadable,
        EmptyFolder,
        FolderWithFile,
        DanglingLink,
        LinkToFile,
        HeldUnreadable,
        JustMade
    };

private Q_SLOTS:
    void unreadableOwners_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<bool>("taken");
        QTest::newRow("empty, left by a power cut") << int(Empty) << true;
        QTest::newRow("garbage") << int(Garbage) << true;
        QTest::newRow("unreadable") << int(Unreadable) << true;
        QTest::newRow("an empty folder") << int(EmptyFolder) << true;
        QTest::newRow("a folder with a file") << int(FolderWithFile) << false;
        QTest::newRow("a dangling link") << int(DanglingLink) << true;
        QTest::newRow("a link to a file") << int(LinkToFile) << true;
        QTest::newRow("garbage a live process holds") << int(HeldUnreadable) << false;
        QTest::newRow("empty, just made, nobody holds it") << int(JustMade) << true;
    }
    void unreadableOwners()
    {
        QFETCH(int, shape);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString path = dir.filePath(DataFolderLockName());
        const QString other = dir.filePath("elsewhere.txt");
        WriteBytes(other, "не трогать");
        int held = -1;
        switch (shape) {
        case Empty:
        case JustMade:
            WriteBytes(path, QByteArray());
            break;
        case Garbage:
        case HeldUnreadable:
            WriteBytes(path, QByteArray("\x00\xff мусор\n\n", 12));
            break;
        case Unreadable:
            WriteBytes(path, "12\n");
            QVERIFY(QFile::setPermissions(path, {}));
            break;
        case EmptyFolder:
            QVERIFY(QDir(dir.path()).mkdir(DataFolderLockName()));
            break;
        case FolderWithFile:
            WriteBytes(path + "/inside.txt", "x");
            break;
        case DanglingLink:
            QVERIFY(QFile::link(dir.filePath("nowhere"), path));
            break;
        case LinkToFile:
            QVERIFY(QFile::link(other, path));
            break;
        }
        if (shape != JustMade) Age(path);
        if (shape == HeldUnreadable) {
            held = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
        }
        try {
            const auto lock = LockDataFolder(dir.path());
            QVERIFY(taken);
            QVERIFY(lock && lock->isLocked());
            qint64 pid = 0;
            QString host, app;
            QVERIFY(lock->getLockInfo(&pid, &host, &app));
            QCOMPARE(pid, QCoreApplication::applicationPid());
        } catch (const VestranaError& e) {
            QVERIFY2(!taken, qPrintable(e.message()));
            // The message names the file to remove, and no process that may not exist.
            QVERIFY2(e.message().contains(QDir::toNativeSeparators(path)) && e.message().contains("удалите"),
                     qPrintable(e.message()));
            QVERIFY(!e.message().contains("другой процесс"));
        }
        if (held >= 0) ::close(held);
        QCOMPARE(ReadBytes(other), QByteArray("не трогать"));
    }

    // A live holder with a readable owner is named, however the file looks otherwise.
    void liveHolderIsNamed()
    {
        QTemporaryDir dir;
        const auto first = LockDataFolder(dir.path());
        QVERIFY(first);
        try {
            LockDataFolder(dir.path());
            QFAIL("taken twice");
        } catch (const VestranaError& e) {
            QVERIFY2(e.message().contains("процесс " + QString::number(QCoreApplication::applicationPid())),
                     qPrintable(e.message()));
        }
    }

    // Where the lock file cannot be written (a full disk), the writer refuses
    // rather than running unlocked. A file size limit of 0 fails the write the same way.
    void unwritableLockRefuses()
    {
        QTemporaryDir dir;
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit none = {0, 0};
            ::setrlimit(RLIMIT_FSIZE, &none);
            try {
                const auto lock = LockDataFolder(dir.path());
                ::_exit(lock ? 1 : 2);
            } catch (const VestranaError& e) {
                ::_exit(e.message().contains(DataFolderLockName()) ? 0 : 3);
            }
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QVERIFY(!QFile::exists(dir.filePath(DataFolderLockName())));
    }

    // Temporary files of a killed save go when the folder is taken, and only
    // those: not another program's, not while someone else holds the folder.
    void leftoverTemporariesGoWhenTheFolderIsTaken()
    {
        QTemporaryDir dir;
        const QStringList leftovers{".database.txt.4242-0.tmp", ".knows.txt.17-3.tmp",
                                    ".database.txt.bak.9-1.tmp"};
        const QStringList kept{".report.csv.4242-0.tmp", ".database.txt.tmp", ".database.txt.x-1.tmp",
                               "database.txt", "notes.tmp"};
        for (const QString& name : leftovers + kept)
            WriteBytes(dir.filePath(name), "x");
        {
            const auto first = LockDataFolder(dir.path());
            WriteBytes(dir.filePath(".database.txt.77-0.tmp"), "x"); // a save under way
            QVERIFY_THROWS_EXCEPTION(VestranaError, LockDataFolder(dir.path()));
            QVERIFY(QFile::exists(dir.filePath(".database.txt.77-0.tmp")));
        }
        const auto lock = LockDataFolder(dir.path());
        QVERIFY(lock);
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : leftovers)
            QVERIFY2(!left.contains(name), qPrintable(name));
        QVERIFY(!left.contains(".database.txt.77-0.tmp"));
        for (const QString& name : kept)
            QVERIFY2(left.contains(name), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(TestFolderLock)
#include "tst_folderlock.moc"
