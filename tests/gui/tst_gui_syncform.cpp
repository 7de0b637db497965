// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/SyncForm.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "support/Fixtures.h"
#include "support/HttpServer.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString kQuestion = QStringLiteral("Вы хотите удалить все записи в БД?");

QStringList logOf(const SyncForm& form)
{
    QStringList lines;
    for (int i = 0; i < form.List->count(); ++i)
        lines << form.List->item(i)->text();
    return lines;
}

bool logHas(const SyncForm& form, const QString& prefix)
{
    for (int i = 0; i < form.List->count(); ++i)
        if (form.List->item(i)->text().startsWith(prefix)) return true;
    return false;
}

// Runs `step` on every pass of the event loop until it returns true, also
// from inside the run's waits.
class Script : public QObject
{
public:
    explicit Script(std::function<bool()> step) : m_step(std::move(step))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (!m_done && m_step()) m_done = true;
        });
        m_timer.start(1);
    }
    bool done() const { return m_done; }

private:
    std::function<bool()> m_step;
    QTimer m_timer;
    bool m_done = false;
};

enum class Close { Frame, Escape };

// Whether the log's viewport, drawn now, shows any text at all.
bool logDrawn(const SyncForm& form)
{
    const QImage img = form.List->viewport()->grab().toImage();
    const QRgb base = form.List->palette().color(QPalette::Base).rgb();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != base) return true;
    return false;
}

// Whether row `row` of the log lies wholly inside its viewport.
bool rowInView(const SyncForm& form, int row)
{
    return form.List->viewport()->rect().contains(form.List->visualItemRect(form.List->item(row)));
}

} // namespace

Q_DECLARE_METATYPE(Close)

class TestSyncForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensIdle()
    {
        qputenv("VESTRANA_SITE", "http://127.0.0.1:9/");
        Program program;
        ScriptedPrompts prompts;
        SyncForm form(program, prompts, nullptr);
        qunsetenv("VESTRANA_SITE");
        QCOMPARE(form.windowTitle(), QStringLiteral("Синхронизация"));
        QVERIFY(form.isModal());
        QCOMPARE(form.Label15->text(), QStringLiteral("Синхронизация данных с сайта http://127.0.0.1:9"));
        QCOMPARE(form.Command1->text(), QStringLiteral("&Запуск"));
        QCOMPARE(form.Command2->text(), QStringLiteral("Отмена"));
        QVERIFY(form.Command2->isEnabled());
        QCOMPARE(form.List->count(), 0);
        QCOMPARE(form.Timer1->interval(), 0);
        QVERIFY(!form.Timer1->isActive());
        QCOMPARE(form.Timer2->interval(), 100);
        QVERIFY(!form.Picture1->pixmap().isNull());
        QVERIFY(!form.Label1->text().isEmpty());
        QCOMPARE(form.Check1->text(), QStringLiteral("Обновлять уже имеющиеся объявления"));
        QVERIFY(form.Check1->isChecked());
        QVERIFY(form.Check1->isEnabled());

        // Opened by the editor: modal, and gone once "Отмена" is pressed.
        QPointer<SyncForm> shown;
        Script script([&] {
            shown = qobject_cast<SyncForm*>(QApplication::activeModalWidget());
            if (!shown) return false;
            QTest::mouseClick(shown->Command2, Qt::LeftButton);
            return true;
        });
        OpenSyncForm(program, prompts, nullptr);
        QVERIFY(script.done());
        QVERIFY(shown.isNull());
    }

    // Hundreds of lines in quick succession: every look at the log finds the
    // lines drawn and the newest in view; at the end the completion line too.
    void fastLogIsDrawnWithTheNewestInView()
    {
        DemoSite site({.count = 400, .announced = 400, .pageSize = 400});
        QVERIFY(site.Listen());
        ScriptedPrompts prompts;
        prompts.answers.enqueue(Prompts::No);
        Program program;
        SyncForm form(program, prompts, nullptr, site.Address());
        form.RunOptions.requestsPerSecond = 0; // the site is on this machine
        form.resize(760, 480);
        form.show();
        int looks = 0;
        QStringList faults;
        Script script([&] {
            const int n = form.List->count();
            if (n > 2 && form.Running()) {
                ++looks;
                if (!logDrawn(form)) faults << QStringLiteral("blank at %1 lines").arg(n);
                if (!rowInView(form, n - 1))
                    faults << QStringLiteral("newest out of view at %1 lines").arg(n);
            }
            return false;
        });
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(program.Records.Items.Count(), 400);
        QVERIFY(looks > 10);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 3).join(QStringLiteral("; "))));
        const int last = form.List->count() - 1;
        QVERIFY(last > 400);
        // The completion line, then the summary of new, updated and unchanged.
        QVERIFY(form.List->item(last - 1)->text().startsWith(QStringLiteral("=================")));
        QVERIFY(form.List->item(last)->text().startsWith(QStringLiteral("Новых объявлений: 400")));
        QVERIFY(rowInView(form, last));
        QVERIFY(logDrawn(form));
        // The last listing's line stays selected, just above.
        QCOMPARE(form.List->currentRow(), last - 2);
        QCOMPARE(form.List->verticalScrollBar()->value(), form.List->verticalScrollBar()->maximum());
    }

    // The question comes before any page is loaded; Yes empties the database,
    // No keeps it and the run appends.
    void runToTheTotal_data()
    {
        QTest::addColumn<Prompts::Button>("answer");
        QTest::addColumn<int>("kept");
        QTest::newRow("Yes empties the database first") << Prompts::Yes << 0;
        QTest::newRow("No keeps the listings") << Prompts::No << 2;
    }
    void runToTheTotal()
    {
        QFETCH(Prompts::Button, answer);
        QFETCH(int, kept);
        DemoSite site({.count = 6, .announced = 4, .pageSize = 3});
        QVERIFY(site.Listen());
        ScriptedPrompts prompts;
        prompts.answers.enqueue(answer);
        int requestsAtQuestion = -1;
        prompts.onMessage = [&](const ScriptedPrompts::Shown&) { requestsAtQuestion = site.Requests(); };
        Program program;
        fixtures::AddListing(program, {QStringLiteral("прежняя 0")});
        fixtures::AddListing(program, {QStringLiteral("прежняя 1")});
        SyncForm form(program, prompts, nullptr, site.Address());
        form.RunOptions.requestsPerSecond = 0; // the site is on this machine
        form.show();

        QTest::mouseClick(form.Command1, Qt::LeftButton);

        QCOMPARE(prompts.texts(), QStringList{kQuestion});
        QCOMPARE(prompts.messages[0].title, QStringLiteral("Vestrana"));
        QCOMPARE(prompts.messages[0].buttons, int(Prompts::Yes | Prompts::No | Prompts::DefaultNo));
        QCOMPARE(requestsAtQuestion, 0);
        QCOMPARE(program.Records.Items.Count(), kept + 4);
        const QStringList log = logOf(form);
        QCOMPARE(log.first(), QStringLiteral("Соединение с сервером..."));
        QCOMPARE(log.filter(QStringLiteral("итого  %1 записей").arg(kept + 3)).size(), 1);
        QCOMPARE(log[log.size() - 2], QStringLiteral("================= Завершено ================ "));
        QCOMPARE(log.last(), QStringLiteral("Новых объявлений: 4, обновлено: 0, без изменений: 0."));
        // Selected after the last listing, before the completion line.
        QCOMPARE(form.List->currentRow(), form.List->count() - 3);
        QCOMPARE(form.ProgressBar1->maximum(), 5);
        QCOMPARE(form.ProgressBar1->value(), 4);

        // Finished: the window is idle at once.
        QCOMPARE(form.Command1->text(), QStringLiteral("&Запуск"));
        QCOMPARE(form.Timer1->interval(), 0);
        QVERIFY(form.Command2->isEnabled());

        // The next run, one press away, starts with an empty log and finds the flats it took.
        prompts.answers.enqueue(Prompts::No);
        prompts.onMessage = [&](const ScriptedPrompts::Shown&) { QCOMPARE(logOf(form), log); };
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(prompts.messages.size(), 2);
        QCOMPARE(logOf(form).first(), QStringLiteral("Соединение с сервером..."));
        QCOMPARE(logOf(form).size(), log.size());
        QCOMPARE(program.Records.Items.Count(), kept + 4);
        QCOMPARE(logOf(form).last(), QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 4."));
    }

    // "Да" empties the database only once a listing has come: a site that
    // does not answer leaves every listing in place, and the log says so.
    void yesKeepsTheListingsWhenNothingComes()
    {
        const QString site = testsupport::RefusingAddress();
        QVERIFY(!site.isEmpty());
        ScriptedPrompts prompts;
        prompts.answers.enqueue(Prompts::Yes);
        Program program;
        fixtures::AddListing(program, {QStringLiteral("прежняя 0")});
        fixtures::AddListing(program, {QStringLiteral("прежняя 1")});
        SyncForm form(program, prompts, nullptr, site);
        form.RunOptions.retries = 0;
        form.show();

        QTest::mouseClick(form.Command1, Qt::LeftButton);

        QCOMPARE(prompts.texts(), QStringList{kQuestion});
        QCOMPARE(program.Records.Items.Count(), 2);
        QCOMPARE(program.Records.Items.Item(1)->GetRecord(field::District), QStringLiteral("прежняя 0"));
        QVERIFY(logOf(form).contains(
            QStringLiteral("Записи в БД не удалены: не получено ни одного объявления.")));
    }

    // "Обновлять уже имеющиеся объявления" is read when a run starts and
    // locked while it goes on; off, every listing is appended as a new one.
    // Either way the run ends with the counts.
    void updateCheckBox_data()
    {
        QTest::addColumn<bool>("update");
        QTest::addColumn<int>("afterTwoRuns");
        QTest::newRow("on: the second run appends nothing") << true << 4;
        QTest::newRow("off: every listing appended again") << false << 8;
    }
    void updateCheckBox()
    {
        QFETCH(bool, update);
        QFETCH(int, afterTwoRuns);
        DemoSite site({.count = 4, .pageSize = 3});
        QVERIFY(site.Listen());
        ScriptedPrompts prompts;
        Program program;
        SyncForm form(program, prompts, nullptr, site.Address());
        form.RunOptions.requestsPerSecond = 0; // the site is on this machine
        form.show();
        form.Check1->setChecked(update);
        bool lockedWhileRunning = false;
        Script script([&] {
            if (!form.Running()) return false;
            lockedWhileRunning = !form.Check1->isEnabled();
            return true;
        });
        for (int run = 0; run < 2; ++run) {
            prompts.answers.enqueue(Prompts::No);
            QTest::mouseClick(form.Command1, Qt::LeftButton); // the run, to its total
        }
        QVERIFY(lockedWhileRunning);
        QVERIFY(form.Check1->isEnabled());
        QCOMPARE(program.Records.Items.Count(), afterTwoRuns);
        QCOMPARE(logOf(form).last(),
                 update ? QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 4.")
                        : QStringLiteral("Новых объявлений: 4, обновлено: 0, без изменений: 0."));
        QCOMPARE(logOf(form).filter(QStringLiteral("Новых объявлений")).size(), 1);
    }

    // A stop: "Отмена" is disabled while the run goes on; a second press while
    // the stop is pending starts nothing; the run ends at its next checkpoint,
    // the log says it was stopped and what it took, and the window is idle.
    void stopDuringRun()
    {
        DemoSite site({.count = 20, .pageSize = 5, .delayMs = 40});
        QVERIFY(site.Listen());
        ScriptedPrompts prompts;
        Program program;
        SyncForm form(program, prompts, nullptr, site.Address());
        form.RunOptions.requestsPerSecond = 0; // the site is on this machine
        form.show();
        QString captionWhileRunning;
        Script script([&] {
            if (!form.Running() || form.Command2->isEnabled() || !logHas(form, QStringLiteral("Обработка")))
                return false;
            captionWhileRunning = form.Command1->text();
            QTest::mouseClick(form.Command1, Qt::LeftButton);
            QTest::mouseClick(form.Command1, Qt::LeftButton);
            return true;
        });

        QTest::mouseClick(form.Command1, Qt::LeftButton);

        QVERIFY(script.done());
        QVERIFY(!form.Running());
        QCOMPARE(captionWhileRunning, QStringLiteral("&Остановить"));
        QCOMPARE(prompts.messages.size(), 1);
        const QStringList log = logOf(form);
        const int taken = program.Records.Items.Count();
        QVERIFY(taken < 20);
        QStringList ending{QStringLiteral("Завершено.")};
        // The question was answered "Да": stopped before its first listing,
        // the run says it left the database as it was.
        if (taken == 0) ending << QStringLiteral("Записи в БД не удалены: не получено ни одного объявления.");
        ending << QStringLiteral("Импорт остановлен пользователем.")
               << QStringLiteral("Новых объявлений: %1, обновлено: 0, без изменений: 0.").arg(taken);
        QCOMPARE(log.mid(log.size() - ending.size()), ending);
        QCOMPARE(log.filter(QStringLiteral("Соединение")).size(), 1);
        QCOMPARE(form.Command1->text(), QStringLiteral("&Запуск"));
        QCOMPARE(form.Timer1->interval(), 0);
        QVERIFY(!program.Busy());
        QVERIFY(form.Command2->isEnabled());
    }

    // A site that cannot be reached: the run gives up, the log says what to
    // check and where the address is set, and the window is idle again.
    void failedRunSaysWhatToDo()
    {
        QString address;
        {
            DemoSite site({.count = 4});
            QVERIFY(site.Listen());
            address = site.Address();
        } // nothing answers there any more
        ScriptedPrompts prompts;
        prompts.answers.enqueue(Prompts::No);
        Program program;
        SyncForm form(program, prompts, nullptr, address);
        form.RunOptions.requestsPerSecond = 0;
        form.RunOptions.retries = 0;
        form.show();

        QTest::mouseClick(form.Command1, Qt::LeftButton);

        const QStringList log = logOf(form);
        QVERIFY2(log.size() >= 4, qPrintable(log.join(u'\n')));
        QVERIFY(log[log.size() - 4].startsWith(QStringLiteral("Импорт остановлен: ")));
        QCOMPARE(log.mid(log.size() - 3),
                 (QStringList{
                     QStringLiteral("Проверьте подключение к интернету и адрес сайта: ") + address,
                     QStringLiteral("Адрес задаёт переменная окружения VESTRANA_SITE при запуске программы."),
                     QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 0.")}));
        QCOMPARE(form.Command1->text(), QStringLiteral("&Запуск"));
        QCOMPARE(form.Timer1->interval(), 0);
        QVERIFY(form.Command2->isEnabled());
        QVERIFY(form.Check1->isEnabled());
    }

    // Closing during a run stops it first; the window closes once it has ended.
    void closeDuringRun_data()
    {
        QTest::addColumn<Close>("how");
        QTest::newRow("by the frame") << Close::Frame;
        QTest::newRow("with Escape") << Close::Escape;
    }
    void closeDuringRun()
    {
        QFETCH(Close, how);
        DemoSite site({.count = 5, .stall = DemoSiteStall::DetailPages});
        QVERIFY(site.Listen());
        ScriptedPrompts prompts;
        Program program;
        SyncForm form(program, prompts, nullptr, site.Address());
        form.RunOptions.requestsPerSecond = 0; // the site is on this machine
        form.PageTimeoutMs = 1000;             // a run that missed the close still ends
        bool openRightAfterClose = false;
        int step = 0;
        Script script([&] {
            if (step == 0 && form.isVisible()) {
                step = 1;
                // Queued: a timer does not fire again while its own handler runs.
                QMetaObject::invokeMethod(
                    form.Command1, [&form] { QTest::mouseClick(form.Command1, Qt::LeftButton); },
                    Qt::QueuedConnection);
            }
            if (step == 1 && logHas(form, QStringLiteral("Обработка"))) {
                step = 2;
                if (how == Close::Frame)
                    form.close();
                else
                    QTest::keyClick(&form, Qt::Key_Escape);
                openRightAfterClose = form.isVisible();
                return true;
            }
            return false;
        });

        form.exec();

        QCOMPARE(step, 2);
        QVERIFY(openRightAfterClose);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.Running());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        const QStringList log = logOf(form);
        QCOMPARE(log.filter(QStringLiteral("Завершено.")).size(), 1);
        QCOMPARE(log.mid(log.size() - 4),
                 (QStringList{QStringLiteral("Завершено."),
                              QStringLiteral("Записи в БД не удалены: не получено ни одного объявления."),
                              QStringLiteral("Импорт остановлен пользователем."),
                              QStringLiteral("Новых объявлений: 0, обновлено: 0, без изменений: 0.")}));
        QCOMPARE(program.Records.Items.Count(), 0);
        QVERIFY(!program.Busy());
    }
};

QTEST_MAIN(TestSyncForm)
#include "tst_gui_syncform.moc"
