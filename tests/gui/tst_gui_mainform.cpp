// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/EditorForm.h"
#include "gui/GuiPrompts.h"
#include "gui/HelpWindow.h"
#include "gui/MainForm.h"
#include "gui/SyncForm.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/Version.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/GuiTestSupport.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>

using testsupport::Cp1251;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

QStringList entries(QComboBox* box)
{
    return static_cast<QStringListModel*>(box->model())->stringList();
}

// Two listings and a knowledge base with values for a few attributes.
void writeData(const QString& dir)
{
    WriteBytes(
        dir + QStringLiteral("/database.txt"),
        Cp1251(QStringLiteral("Центр|2|5/9|КИРПИЧНЫЙ|ул. Ленина, 5|1500|54|32|8|Рынок|300|раздельный|есть|"
                              "Дом|12.11.2026|Ремонт||резерв|\r\n")) +
            QByteArray(18, '|') + "\r\n");
    KnowledgeBase kb;
    for (field::Field k : field::AttributeFields) {
        kb.AttributeMax[k] = -999999;
        kb.AttributeMin[k] = 999999;
    }
    const struct
    {
        field::Field field;
        const char16_t* value;
        const char16_t* score;
    } values[] = {
        // clang-format off
        {field::District, u"ЦЕНТР", u"90"},
        {field::District, u"заречье", u"30"},
        {field::HouseType, u"КИРПИЧНЫЙ", u"80"},
        {field::HouseType, u"панельный", u"40"},
        {field::HouseType, u"м", u"10"},
        {field::HouseType, u"", u"0"},
        {field::Price, u"1500", u"0"},
        {field::Agency, u"Дом", u"0"},
        // clang-format on
    };
    for (const auto& v : values)
        kb.AttributeValueLists[v.field].Append(QString::fromUtf16(v.value), QString::fromUtf16(v.score));
    WriteBytes(dir + QStringLiteral("/knows.txt"), kb.SaveKnowledgeBytes());
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUpFillsTheWindow()
    {
        QTemporaryDir dir;
        writeData(dir.path());
        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        form.StartUp();
        QCOMPARE(form.windowTitle(), QStringLiteral("Жилоскоп 01.02.2008"));
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label16"))->text(),
                 QStringLiteral("Записей в базе данных : 2"));
        // Sorted in Russian alphabetical order, letter case aside.
        QCOMPARE(entries(form.findChild<QComboBox*>(QStringLiteral("Combo1"))),
                 (QStringList{QStringLiteral("заречье"), QStringLiteral("ЦЕНТР")}));
        // House types: first letter in capitals, the rest lower case; no empty entry.
        QCOMPARE(
            entries(form.findChild<QComboBox*>(QStringLiteral("Combo4"))),
            (QStringList{QStringLiteral("Кирпичный"), QStringLiteral("М"), QStringLiteral("Панельный")}));
        // The price box keeps its fixed list, whatever the knowledge base holds.
        QComboBox* price = form.findChild<QComboBox*>(QStringLiteral("Combo14"));
        QCOMPARE(entries(price),
                 (QStringList{QStringLiteral("1000"), QStringLiteral("1500"), QStringLiteral("2000"),
                              QStringLiteral("3000"), QStringLiteral("4000"), QStringLiteral("500"),
                              QStringLiteral("5000"), QStringLiteral("Договорная")}));
        QCOMPARE(entries(form.findChild<QComboBox*>(QStringLiteral("Combo13"))),
                 QStringList{QStringLiteral("Дом")});
        QCOMPARE(form.WishBox(field::Agency), form.findChild<QComboBox*>(QStringLiteral("Combo13")));
        QCOMPARE(form.WishBox(field::Price), price);
        QCOMPARE(price->toolTip(), QStringLiteral("Адрес, выберите из списка"));
        QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("Combo1"))->toolTip(),
                 QStringLiteral("Район квартиры/дома, выберите из списка"));
        for (const fieldinfo::WishBox& box : fieldinfo::WishBoxes)
            QCOMPARE(form.WishBox(box.field)->currentText(), QString());
        auto* list = form.findChild<QTreeWidget*>(QStringLiteral("List"));
        QCOMPARE(list->columnCount(), 10);
        QCOMPARE(list->headerItem()->text(9), QStringLiteral("% совпадения"));
        QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("Command1"))->text(), QStringLiteral("&Поиск"));
    }

    // The count follows every change of the collection, and a re-index refills
    // the wish lists while the typed text stays.
    void countAndWishListsFollowTheEditor()
    {
        QTemporaryDir dir;
        writeData(dir.path());
        ScriptedPrompts prompts; // answers Yes
        Program program(dir.path());
        MainForm form(program, prompts);
        form.StartUp();
        form.show();
        auto* count = form.findChild<QLabel*>(QStringLiteral("Label16"));
        QComboBox* agency = form.WishBox(field::Agency);
        guitest::TypeText(agency->lineEdit(), QStringLiteral("Мой"));
        EditorForm editor(program, prompts);
        editor.RefreshData();
        editor.show();
        editor.List->setCurrentIndex(editor.List->model()->index(1, 0));
        QTest::mouseClick(editor.Command2, Qt::LeftButton);
        QCOMPARE(program.Records.Items.Count(), 1);
        QCOMPARE(count->text(), QStringLiteral("Записей в базе данных : 1"));
        program.Records.Items.Item(1)->SetRecord(field::Agency, QStringLiteral("Мой этаж"));
        QTest::mouseClick(editor.Command6, Qt::LeftButton);
        QTRY_VERIFY(!program.Busy());
        QCOMPARE(entries(agency), (QStringList{QStringLiteral("Дом"), QStringLiteral("Мой этаж")}));
        QCOMPARE(agency->currentText(), QStringLiteral("Мой"));
        QCOMPARE(entries(form.WishBox(field::District)),
                 (QStringList{QStringLiteral("заречье"), QStringLiteral("ЦЕНТР"), QStringLiteral("Центр")}));
        QCOMPARE(form.WishBox(field::District)->currentText(), QString());
    }

    void missingFilesAreCreatedAndWrittenAtClose()
    {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        Program program(dir.path());
        {
            MainForm form(program, prompts);
            form.StartUp();
            QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label16"))->text(),
                     QStringLiteral("Записей в базе данных : 0"));
            QVERIFY(QFile::exists(program.DatabasePath()));
            QCOMPARE(QFileInfo(program.KnowledgePath()).size(), 0);
            QCOMPARE(entries(form.WishBox(field::District)), QStringList());
            form.show();
            QVERIFY(form.close());
        }
        QCOMPARE(QFileInfo(program.DatabasePath()).size(), 0);
        QVERIFY(ReadBytes(program.KnowledgePath()).startsWith("AttributeValues\r\n 0|0|0\r\n"));
        QVERIFY(prompts.messages.isEmpty());
    }

    void closingAfterLookingRewritesBothFiles()
    {
        QTemporaryDir dir;
        writeData(dir.path());
        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        form.StartUp();
        form.show();
        form.ShowHelp();
        QPointer<QWidget> help = qobject_cast<QWidget*>([] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<HelpWindow*>(w)) return w;
            return static_cast<QWidget*>(nullptr);
        }());
        QVERIFY(help && help->isVisible());
        // The help names the version and the folder whose files this run uses.
        const auto* about = help->findChild<QLabel*>(QStringLiteral("HelpAbout"));
        QVERIFY(about);
        QCOMPARE(about->text(), QStringLiteral("Vestrana, версия %1. Папка данных: %2")
                                    .arg(ProgramVersion(), QDir::toNativeSeparators(dir.path())));
        QSignalSpy spy(&form, &MainForm::shutDown);
        // "Выход" closes the window, which runs the shutdown sequence.
        QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("Label21")), Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QVERIFY(!help || !help->isVisible());
        // The floor "5/9" was split at the load, so the file shows that it was written.
        QVERIFY(ReadBytes(program.DatabasePath()).startsWith(Cp1251(QStringLiteral("Центр|2|5|КИРПИЧНЫЙ|"))));
        QVERIFY(ReadBytes(program.KnowledgePath()).contains(Cp1251(QStringLiteral(" 3|КИРПИЧНЫЙ|80\r\n"))));
    }

    // Closing writes only a file whose contents would change, so a read-only
    // data folder with nothing changed raises no message.
    void closeWritesOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("databaseWritten");
        QTest::addColumn<bool>("knowledgeWritten");
        QTest::newRow("nothing") << QString() << false << false;
        QTest::newRow("listing edited") << QStringLiteral("listing") << true << false;
        QTest::newRow("score edited") << QStringLiteral("score") << false << true;
        QTest::newRow("floor tidied at load") << QStringLiteral("floor") << true << false;
    }

    void closeWritesOnlyWhatChanged()
    {
        QFETCH(QString, change);
        QFETCH(bool, databaseWritten);
        QFETCH(bool, knowledgeWritten);
        QTemporaryDir dir;
        writeData(dir.path());
        const QByteArray untidy = ReadBytes(dir.filePath(QStringLiteral("database.txt")));
        {
            // The files as the program writes them ("5/9" split).
            Program first(dir.path());
            first.StartUp();
            first.SaveDatabase();
            first.SaveKnowledge();
        }
        if (change == QStringLiteral("floor"))
            WriteBytes(dir.filePath(QStringLiteral("database.txt")), untidy);
        const QString files[] = {dir.filePath(QStringLiteral("database.txt")),
                                 dir.filePath(QStringLiteral("knows.txt"))};
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        for (const QString& f : files) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        // With nothing changed the folder has no write rights (which count only
        // where the tests do not run as root).
        const auto rights = QFile::permissions(dir.path());
        if (change.isEmpty())
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const auto restore = qScopeGuard([&] { QFile::setPermissions(dir.path(), rights); });

        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        form.StartUp();
        form.show();
        if (change == QStringLiteral("listing"))
            program.Records.Items.Item(1)->SetRecord(field::Agency, QStringLiteral("Другое"));
        if (change == QStringLiteral("score"))
            program.Knowledge.AttributeValueLists[field::District].SetScore(1, QStringLiteral("95"));
        QVERIFY(form.close());
        QVERIFY(prompts.messages.isEmpty());
        const auto written = [&](const QString& f) {
            return QFileInfo(f).lastModified().toSecsSinceEpoch() != old.toSecsSinceEpoch();
        };
        QCOMPARE(written(files[0]), databaseWritten);
        QCOMPARE(written(files[1]), knowledgeWritten);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary file left
    }

    // The window answers while the files load: a close asked for meanwhile
    // comes once they have loaded.
    void closeDuringTheLoadFollowsIt()
    {
        QTemporaryDir dir;
        writeData(dir.path());
        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        form.show();
        QSignalSpy down(&form, &MainForm::shutDown);
        // Queued before the load starts, so it comes while the load runs.
        QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
        form.StartUp();
        QCOMPARE(down.count(), 0);
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label16"))->text(),
                 QStringLiteral("Записей в базе данных : 2"));
        QTRY_COMPARE(down.count(), 1);
        QVERIFY(ReadBytes(program.DatabasePath()).startsWith(Cp1251(QStringLiteral("Центр|2|5|"))));
    }

    void failedLoadWritesNothing()
    {
        QTemporaryDir dir;
        const QByteArray bad = "short|line\r\n";
        WriteBytes(dir.filePath(QStringLiteral("database.txt")), bad);
        WriteBytes(dir.filePath(QStringLiteral("knows.txt")), "keep me\r\n");
        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        QVERIFY_THROWS_EXCEPTION(VestranaError, form.StartUp());
        form.close();
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("database.txt"))), bad);
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("knows.txt"))), QByteArray("keep me\r\n"));
    }

    void failedSaveAsksAndCanTryAgain()
    {
        QTemporaryDir dir;
        writeData(dir.path());
        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        form.StartUp();
        form.show();
        // The data folder disappears (a removed drive, say): the close asks, and
        // "Отмена" keeps the window and everything in memory.
        const QString moved = dir.path() + QStringLiteral("-moved");
        QVERIFY(QDir().rename(dir.path(), moved));
        prompts.answers.enqueue(Prompts::Cancel);
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages[0].text.contains(QStringLiteral("database.txt")));
        QVERIFY(prompts.messages[0].buttons & Prompts::Retry);
        // Back in place, "Повторить" saves both.
        prompts.onMessage = [&](const ScriptedPrompts::Shown&) { QDir().rename(moved, dir.path()); };
        prompts.answers.enqueue(Prompts::Retry);
        QVERIFY(form.close());
        QCOMPARE(prompts.messages.size(), 2);
        QVERIFY(ReadBytes(program.DatabasePath()).startsWith(Cp1251(QStringLiteral("Центр|2|5|"))));
    }

    // The session ends while the database editor has the import window open
    // with its question on screen: each dialog closes in turn, nothing is
    // destroyed under a running handler, and the data is saved.
    void closeWhileDialogsAreOpen()
    {
        QTemporaryDir dir;
        writeData(dir.path());
        GuiPrompts realBoxes; // a real modal question, with its own event loop
        Program program(dir.path());
        MainForm form(program, realBoxes);
        form.StartUp();
        form.show();
        auto* editor = new EditorForm(program, realBoxes);
        editor->setAttribute(Qt::WA_DeleteOnClose);
        editor->RefreshData();
        editor->show();
        QPointer<EditorForm> watch(editor);
        QSignalSpy down(&form, &MainForm::shutDown);
        bool questionSeen = false;
        QTimer ask;
        ask.setInterval(20);
        connect(&ask, &QTimer::timeout, [&] {
            if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) && !questionSeen) {
                questionSeen = true;
                form.close(); // as SIGTERM would
            }
        });
        ask.start();
        // Its own timer: the click waits inside the question, while `ask` runs.
        bool started = false;
        QTimer start;
        start.setInterval(20);
        connect(&start, &QTimer::timeout, [&] {
            auto* sync = qobject_cast<SyncForm*>(QApplication::activeModalWidget());
            if (sync && !started) {
                started = true;
                QTest::mouseClick(sync->Command1, Qt::LeftButton); // the question comes up
            }
        });
        start.start();
        QTimer::singleShot(0, [&] { QTest::mouseClick(editor->Command5, Qt::LeftButton); });
        QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 10000);
        QVERIFY(questionSeen);
        QTRY_VERIFY(!watch);
        QVERIFY(ReadBytes(program.DatabasePath()).startsWith(Cp1251(QStringLiteral("Центр|2|5|"))));
    }

    // The desktop session ends: SIGTERM closes the window normally and both files are saved.
    void sigtermSaves()
    {
        const QString gui = qEnvironmentVariable("VESTRANA_GUI");
        if (gui.isEmpty()) QSKIP("the desktop program was not built");
        QTemporaryDir dir;
        writeData(dir.path());
        const QString exe = dir.filePath(QStringLiteral("vestrana"));
        QVERIFY(QFile::copy(gui, exe));
        QProcess p;
        p.setProgram(exe);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start();
        QVERIFY(p.waitForStarted());
        // The program takes its folder's lock after it watches for the signal,
        // which then waits until its event loop runs.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(DataFolderLockName())), 10000);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(ReadBytes(dir.filePath(QStringLiteral("database.txt")))
                    .startsWith(Cp1251(QStringLiteral("Центр|2|5|"))));
    }

    // Starts a copy of the desktop program in `dir` (its data folder) and
    // waits until it says `expected` on its error stream: the start-up error
    // box is up then. A termination signal must end it, writing nothing.
    void checkStartErrorEndsOnSignal(const QString& dir, const QString& expected, int code)
    {
        const QString exe = QDir(dir).filePath(QStringLiteral("vestrana"));
        QVERIFY(QFile::copy(qEnvironmentVariable("VESTRANA_GUI"), exe));
        const QByteArray db = ReadBytes(QDir(dir).filePath(QStringLiteral("database.txt")));
        const QByteArray kb = ReadBytes(QDir(dir).filePath(QStringLiteral("knows.txt")));
        QProcess p;
        p.setProgram(exe);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start();
        QVERIFY(p.waitForStarted());
        QString said;
        QTRY_VERIFY_WITH_TIMEOUT((said += QString::fromUtf8(p.readAllStandardError())).contains(expected),
                                 10000);
        QCOMPARE(p.state(), QProcess::Running); // the box waits for an answer
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        QCOMPARE(ReadBytes(QDir(dir).filePath(QStringLiteral("database.txt"))), db);
        QCOMPARE(ReadBytes(QDir(dir).filePath(QStringLiteral("knows.txt"))), kb);
    }

    void signalEndsTheBadFileBox()
    {
        if (qEnvironmentVariable("VESTRANA_GUI").isEmpty()) QSKIP("the desktop program was not built");
        QTemporaryDir dir;
        writeData(dir.path());
        WriteBytes(dir.filePath(QStringLiteral("knows.txt")), "\xEF\xBB\xBF"
                                                              "AttributeValues\r\n");
        checkStartErrorEndsOnSignal(dir.path(), QStringLiteral("windows-1251"), 1);
    }

    // A second program on a data folder in use says who holds it and opens nothing.
    void secondProgramOnTheFolderOpensNothing()
    {
        if (qEnvironmentVariable("VESTRANA_GUI").isEmpty()) QSKIP("the desktop program was not built");
        QTemporaryDir dir;
        writeData(dir.path());
        const auto lock = LockDataFolder(dir.path());
        QVERIFY(lock);
        checkStartErrorEndsOnSignal(
            dir.path(),
            QStringLiteral("занята: с ней уже работает процесс %1").arg(QCoreApplication::applicationPid()),
            75);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_gui_mainform.moc"
