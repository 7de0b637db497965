// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/FolderLock.h"
#include "platform/Version.h"
#include "support/ProcessRun.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The environment of a session without any display: no X, no Wayland, no
// platform chosen.
QProcessEnvironment noDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

testsupport::RunResult run(const QStringList& args, const QProcessEnvironment& env)
{
    return testsupport::RunProcess(qEnvironmentVariable("VESTRANA_GUI"), args, env, 30000);
}

} // namespace

// The desktop program's command line, answered before any window system is
// reached: the process is run as a user would start it.
class TestProgramOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        if (qEnvironmentVariable("VESTRANA_GUI").isEmpty()) QSKIP("the desktop program was not built");
    }

    void answers_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM, empty for none
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = QStringLiteral("Использование: vestrana [--data-dir ПАПКА]");
        const QString noScreen = QStringLiteral("нет графического экрана");
        QTest::newRow("--version") << QStringList{"--version"} << "" << 0
                                   << QStringLiteral("vestrana %1\n").arg(ProgramVersion()) << "";
        QTest::newRow("--help") << QStringList{"--help"} << "" << 0 << usage << "";
        QTest::newRow("-h after an option")
            << QStringList{"--data-dir", "/nowhere", "-h"} << "" << 0 << usage << "";
        QTest::newRow("no display") << QStringList{} << "" << 1 << "" << noScreen;
        QTest::newRow("xcb without X") << QStringList{} << "xcb" << 1 << "" << noScreen;
        QTest::newRow("-platform xcb without X")
            << QStringList{"-platform", "xcb"} << "offscreen" << 1 << "" << noScreen;
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "offscreen" << 64 << ""
                                        << "Неизвестный параметр: --frobnicate";
        QTest::newRow("operand") << QStringList{"database.txt"} << "offscreen" << 64 << ""
                                 << "Неизвестный параметр: database.txt";
        QTest::newRow("Qt option without its value") << QStringList{"-style"} << "offscreen" << 64 << ""
                                                     << "После -style нужно значение.";
        QTest::newRow("--data-dir without a folder") << QStringList{"--data-dir"} << "offscreen" << 64 << ""
                                                     << "После --data-dir нужна папка данных.";
        QTest::newRow("missing data folder")
            << QStringList{"--data-dir=/nowhere/at/all"} << "offscreen" << 2 << ""
            << "Папка данных не существует: /nowhere/at/all";
    }
    void answers()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, platform);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcessEnvironment env = noDisplay();
        if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        const testsupport::RunResult r = run(args, env);
        QVERIFY2(r.code == code, qPrintable(QStringLiteral("exit %1: %2").arg(r.code).arg(r.err)));
        QVERIFY2(out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(out), qPrintable(r.out));
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), qPrintable(r.err));
        // Code 64 names the way to the options; no display names the console tool.
        if (code == 64) QVERIFY(r.err.contains(QStringLiteral("vestrana --help")));
        if (code == 1) QVERIFY(r.err.contains(QStringLiteral("vestrana-cli")));
    }

    // Qt's options pass, and --data-dir picks the folder the program works on:
    // it takes that folder's lock, and a termination signal ends it normally.
    void dataDirAndQtOptionsStartTheProgram()
    {
        QTemporaryDir dir;
        for (const char* name : {"database.txt", "knows.txt"})
            QVERIFY(QFile::copy(QStringLiteral(VESTRANA_SOURCE_DIR "/data/") + QString::fromLatin1(name),
                                dir.filePath(QString::fromLatin1(name))));
        QProcess p;
        p.setProcessEnvironment(noDisplay());
        p.start(qEnvironmentVariable("VESTRANA_GUI"),
                {"-platform", "offscreen", "-style=fusion", "--data-dir=" + dir.path()});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(dir.filePath(DataFolderLockName())) || p.state() == QProcess::NotRunning, 20000);
        QVERIFY2(p.state() == QProcess::Running, p.readAllStandardError().constData());
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }
};

QTEST_MAIN(TestProgramOptions)
#include "tst_gui_programoptions.moc"
