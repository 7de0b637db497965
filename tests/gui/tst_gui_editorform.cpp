// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/EditorForm.h"
#include "gui/GuiPrompts.h"
#include "gui/ProcessForm.h"
#include "gui/RecordForm.h"
#include "gui/SyncForm.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/ProgramSetup.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>

using fixtures::AddListing;

namespace {

// Runs `act` on the record dialog once it is up (the handler that opens it
// blocks until it closes). The poll ends with the returned timer.
[[nodiscard]] std::unique_ptr<QTimer> whenRecordDialogShown(std::function<void(RecordForm*)> act)
{
    auto poll = std::make_unique<QTimer>();
    poll->setInterval(5);
    QTimer* p = poll.get();
    QObject::connect(p, &QTimer::timeout, p, [p, act] {
        if (auto* form = qobject_cast<RecordForm*>(QApplication::activeModalWidget())) {
            p->stop();
            act(form);
        }
    });
    p->start();
    return poll;
}

void click(QPushButton* b)
{
    QTest::mouseClick(b, Qt::LeftButton);
}

QString cell(const EditorForm& form, int row, int column)
{
    const QAbstractItemModel* m = form.List->model();
    return m->data(m->index(row, column)).toString();
}

QString address(const Program& p, int position)
{
    return p.Records.Items.Item(position)->GetRecord(field::Address);
}

struct Setup : testsupport::WindowSetup<EditorForm>
{
    explicit Setup(int listings = 3)
    {
        for (int i = 1; i <= listings; ++i)
            AddListing(program,
                       {"Центр", "2", "5", "кирпичный", QStringLiteral("ул. Мира, %1").arg(i), "1500"});
        form = newEditor();
    }

    std::unique_ptr<EditorForm> newEditor() { return newEditor(prompts); }
    std::unique_ptr<EditorForm> newEditor(Prompts& answering)
    {
        auto f = std::make_unique<EditorForm>(program, answering);
        f->RefreshData();
        f->show();
        return f;
    }

    void selectRow(EditorForm& f, int row)
    {
        const QRect r = f.List->visualRect(f.List->model()->index(row, 1));
        QTest::mouseClick(f.List->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(f.SelectedPosition(), row + 1);
    }
};

} // namespace

class TestEditorForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listShowsEveryListingInItsColumns()
    {
        Setup s(0);
        // Each field holds a text naming it.
        const auto text = [](field::Field f) { return QStringLiteral("п%1").arg(field::Index(f)); };
        QStringList fields;
        for (field::Field k : field::AllFields)
            fields << text(k);
        AddListing(s.program, fields);
        AddListing(s.program, {});
        s.form->RefreshData();

        QCOMPARE(s.form->windowTitle(), QStringLiteral("Редактирование БД"));
        QStringList headers;
        for (int c = 0; c < s.form->List->model()->columnCount(); ++c)
            headers << s.form->List->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"Дата", "Район", "Ком", "Этаж", "Тип", "Адрес", "Площадь", "Описание",
                                       "Цена", "Агентство"}));
        QCOMPARE(s.form->List->model()->rowCount(), 2);
        QStringList row;
        for (int c = 0; c < 10; ++c)
            row << cell(*s.form, 0, c);
        QCOMPARE(row, (QStringList{text(field::Date), text(field::District), text(field::Rooms),
                                   text(field::Floor) + "/" + text(field::Storeys), text(field::HouseType),
                                   text(field::Address), text(field::TotalArea), text(field::Description),
                                   text(field::Price), text(field::Agency)}));
        const QModelIndex first = s.form->List->model()->index(1, 0);
        QVERIFY(!s.form->List->model()->data(first, Qt::DecorationRole).value<QIcon>().pixmap(16).isNull());
        QCOMPARE(s.form->SelectedPosition(), 0);
    }

    void floorColumn_data()
    {
        QTest::addColumn<QString>("floor");
        QTest::addColumn<QString>("storeys");
        QTest::addColumn<QString>("shown");
        QTest::newRow("floor and storeys") << "5"
                                           << "9"
                                           << "5/9";
        QTest::newRow("no storeys: a bare slash") << "5"
                                                  << ""
                                                  << "5/";
        QTest::newRow("a slash already in the floor") << "5/9"
                                                      << ""
                                                      << "5/9/";
        QTest::newRow("both empty") << ""
                                    << ""
                                    << "/";
    }

    void floorColumn()
    {
        QFETCH(QString, floor);
        QFETCH(QString, storeys);
        QFETCH(QString, shown);
        Setup s(0);
        auto r = AddListing(s.program, {});
        r->SetRecord(field::Floor, floor);
        r->SetRecord(field::Storeys, storeys);
        s.form->RefreshData();
        QCOMPARE(cell(*s.form, 0, 3), shown);
    }

    void addThenClose_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("byFrame");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("reindexed");
        QTest::newRow("OK, Закрыть, Yes: re-index, then close")
            << true << false << int(Prompts::Yes) << true << true;
        QTest::newRow("OK, Закрыть, No: close only") << true << false << int(Prompts::No) << true << false;
        QTest::newRow("OK, then the frame: no question")
            << true << true << int(Prompts::Yes) << false << false;
        QTest::newRow("Отмена, Закрыть: no question")
            << false << false << int(Prompts::Yes) << false << false;
    }

    void addThenClose()
    {
        QFETCH(bool, confirm);
        QFETCH(bool, byFrame);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, reindexed);
        Setup s;
        s.prompts.answers.enqueue(Prompts::Button(answer));

        const auto poll = whenRecordDialogShown([&](RecordForm* dialog) {
            dialog->findChild<QComboBox*>(QStringLiteral("Combo5"))
                ->setEditText(QStringLiteral("ул. Новая, 7"));
            click(dialog->findChild<QPushButton*>(confirm ? QStringLiteral("Command1")
                                                          : QStringLiteral("Command2")));
        });
        click(s.form->Command1);

        QCOMPARE(s.program.Records.Items.Count(), confirm ? 4 : 3);
        QCOMPARE(s.form->List->model()->rowCount(), confirm ? 4 : 3);
        QCOMPARE(s.form->change, confirm);
        if (confirm) {
            QCOMPARE(address(s.program, 4), QStringLiteral("ул. Новая, 7"));
            QCOMPARE(cell(*s.form, 3, 5), QStringLiteral("ул. Новая, 7"));
        }

        if (byFrame)
            s.form->close();
        else
            click(s.form->Command4);

        QVERIFY(!s.form->isVisible());
        if (asked) {
            QCOMPARE(s.prompts.messages.size(), 1);
            QCOMPARE(s.prompts.messages[0].text,
                     QStringLiteral("База данных изменена, вы хотите выполнить индексирование БД?"));
            QCOMPARE(s.prompts.messages[0].title, QStringLiteral("?"));
            QCOMPARE(s.prompts.messages[0].buttons, Prompts::Yes | Prompts::No);
        } else {
            QVERIFY(s.prompts.messages.isEmpty());
        }
        const QStringList addresses = s.program.Knowledge.AttributeValueLists[field::Address].Values();
        QCOMPARE(addresses.contains(QStringLiteral("ул. Новая, 7")), reindexed);
        QCOMPARE(addresses.size(), reindexed ? 4 : 0);
    }

    // A listing added at the end of a long list is selected and scrolled to;
    // the last column takes the free width.
    void addedListingIsSelectedAndShown()
    {
        Setup s(80);
        const auto poll = whenRecordDialogShown([&](RecordForm* dialog) {
            dialog->findChild<QComboBox*>(QStringLiteral("Combo5"))
                ->setEditText(QStringLiteral("ул. Новая, 7"));
            click(dialog->findChild<QPushButton*>(QStringLiteral("Command1")));
        });
        click(s.form->Command1);
        QCOMPARE(s.form->SelectedPosition(), 81);
        const QRect row = s.form->List->visualRect(s.form->List->model()->index(80, 0));
        QVERIFY(s.form->List->viewport()->rect().contains(row));
        QVERIFY(s.form->List->header()->stretchLastSection());
        QCOMPARE(s.form->List->header()->sectionResizeMode(0), QHeaderView::Interactive);
    }

    void deleteAsksThenRemovesTheSelectedListing_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("Yes removes it, later rows move up")
            << int(Prompts::Yes) << QStringList{"ул. Мира, 1", "ул. Мира, 3"};
        QTest::newRow("No keeps it") << int(Prompts::No)
                                     << QStringList{"ул. Мира, 1", "ул. Мира, 2", "ул. Мира, 3"};
    }

    void deleteAsksThenRemovesTheSelectedListing()
    {
        QFETCH(int, answer);
        QFETCH(QStringList, left);
        Setup s;
        s.prompts.answers.enqueue(Prompts::Button(answer));
        s.selectRow(*s.form, 1);

        click(s.form->Command2);

        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.prompts.messages[0].text, QStringLiteral("Вы дейсвительно хотите удалить запись?"));
        QCOMPARE(s.prompts.messages[0].title, QStringLiteral("Подтверждение"));
        QCOMPARE(s.prompts.messages[0].buttons, Prompts::Yes | Prompts::No | Prompts::DefaultNo);
        QCOMPARE(s.prompts.messages[0].icon, Prompts::Icon::None);
        QStringList inCollection, inList;
        for (int i = 1; i <= s.program.Records.Items.Count(); ++i) {
            inCollection << address(s.program, i);
            inList << cell(*s.form, i - 1, 5);
        }
        QCOMPARE(inCollection, left);
        QCOMPARE(inList, left);
        QVERIFY(!s.form->change);
    }

    void nothingSelectedIsReported_data()
    {
        QTest::addColumn<int>("listings");
        QTest::addColumn<bool>("edit");
        QTest::newRow("delete, empty database") << 0 << false;
        QTest::newRow("edit, empty database") << 0 << true;
        QTest::newRow("delete, no row selected") << 3 << false;
        QTest::newRow("edit, no row selected") << 3 << true;
    }

    void nothingSelectedIsReported()
    {
        QFETCH(int, listings);
        QFETCH(bool, edit);
        Setup s(listings);
        bool dialogOpened = false;
        const auto poll = whenRecordDialogShown([&](RecordForm* dialog) {
            dialogOpened = true;
            dialog->reject();
        });

        click(edit ? s.form->Command3 : s.form->Command2);

        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.prompts.messages[0].text, QStringLiteral("Запись не выбрана"));
        QCOMPARE(s.prompts.messages[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(s.prompts.messages[0].buttons, int(Prompts::Ok));
        QCOMPARE(s.prompts.messages[0].icon, Prompts::Icon::Information);
        QCOMPARE(s.program.Records.Items.Count(), listings);
        // A dialog would have blocked the click until the poll closed it.
        QVERIFY(!dialogOpened);
    }

    void editChangesTheSelectedListingInPlace()
    {
        Setup s;
        const RecordPtr second = s.program.Records.Items.Item(2);
        s.selectRow(*s.form, 1);
        QString shownAddress;
        const auto poll = whenRecordDialogShown([&](RecordForm* dialog) {
            auto* box = dialog->findChild<QComboBox*>(QStringLiteral("Combo5"));
            shownAddress = box->currentText();
            box->setEditText(QStringLiteral("ул. Правленая, 2"));
            click(dialog->findChild<QPushButton*>(QStringLiteral("Command1")));
        });

        click(s.form->Command3);

        QCOMPARE(shownAddress, QStringLiteral("ул. Мира, 2"));
        QCOMPARE(s.program.Records.Items.Item(2), second);
        QCOMPARE(second->GetRecord(field::Address), QStringLiteral("ул. Правленая, 2"));
        QCOMPARE(cell(*s.form, 1, 5), QStringLiteral("ул. Правленая, 2"));
        // The new address is a value the knowledge base does not hold yet.
        QVERIFY(s.form->change);
        s.prompts.answers.enqueue(Prompts::No);
        click(s.form->Command4);
        QVERIFY(!s.form->isVisible());
        QCOMPARE(s.prompts.texts(),
                 QStringList{QStringLiteral("База данных изменена, вы хотите выполнить индексирование БД?")});
    }

    // Enter or a double click on a row opens the record dialog for it; Delete
    // asks the delete question ("Нет" the default) and deletes on "Да".
    void listKeys()
    {
        Setup s;
        s.selectRow(*s.form, 1);
        QStringList shown;
        const auto cancelEach = [&] {
            return whenRecordDialogShown([&](RecordForm* dialog) {
                shown << dialog->findChild<QComboBox*>(QStringLiteral("Combo5"))->currentText();
                click(dialog->findChild<QPushButton*>(QStringLiteral("Command2")));
            });
        };
        {
            const auto poll = cancelEach();
            QTest::keyClick(s.form->List, Qt::Key_Return);
        }
        {
            const auto poll = cancelEach();
            const QRect r = s.form->List->visualRect(s.form->List->model()->index(2, 1));
            QTest::mouseClick(s.form->List->viewport(), Qt::LeftButton, {}, r.center());
            QTest::mouseDClick(s.form->List->viewport(), Qt::LeftButton, {}, r.center());
        }
        QCOMPARE(shown, (QStringList{"ул. Мира, 2", "ул. Мира, 3"}));
        QVERIFY(!s.form->change);                // both cancelled
        QCOMPARE(s.form->SelectedPosition(), 3); // still selected after the dialog

        s.prompts.answers.enqueue(Prompts::No);
        QTest::keyClick(s.form->List, Qt::Key_Delete);
        QCOMPARE(s.prompts.texts(), QStringList{QStringLiteral("Вы дейсвительно хотите удалить запись?")});
        QCOMPARE(s.prompts.messages[0].buttons, Prompts::Yes | Prompts::No | Prompts::DefaultNo);
        QCOMPARE(s.program.Records.Items.Count(), 3);
        s.prompts.answers.enqueue(Prompts::Yes);
        QTest::keyClick(s.form->List, Qt::Key_Delete);
        QCOMPARE(s.program.Records.Items.Count(), 2);
        QCOMPARE(address(s.program, 2), QStringLiteral("ул. Мира, 2"));
        // The row that took the deleted one's place is selected: Delete goes on from there.
        s.prompts.answers.enqueue(Prompts::Yes);
        QTest::keyClick(s.form->List, Qt::Key_Delete);
        QCOMPARE(s.program.Records.Items.Count(), 1);
        QCOMPARE(address(s.program, 1), QStringLiteral("ул. Мира, 1"));
    }

    void reindexButtonRunsAtOnce()
    {
        Setup s;
        click(s.form->Command6);
        QVERIFY(s.prompts.messages.isEmpty());
        QCOMPARE(s.form->Status->text(), QStringLiteral("Индексирование завершено."));
        QCOMPARE(s.program.Knowledge.AttributeValueLists[field::Address].Count(), 3);
        QCOMPARE(s.form->List->model()->rowCount(), 3);
        QVERIFY(!s.form->change);
        QVERIFY(s.form->Command1->isEnabled());
    }

    void importButtonOpensTheImportWindowThenRefreshes()
    {
        Setup s;
        // The import window is modal: look at it while it is up, let it "import"
        // one listing, and close it.
        bool sawImport = false;
        QTimer closer;
        closer.setSingleShot(true);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* sync = qobject_cast<SyncForm*>(QApplication::activeModalWidget())) {
                sawImport = sync->windowTitle() == QStringLiteral("Синхронизация");
                AddListing(s.program, {"Заречье"});
                sync->close();
            }
        });
        closer.start(0);
        click(s.form->Command5);
        QVERIFY(sawImport);
        QCOMPARE(s.form->List->model()->rowCount(), 4);
        QVERIFY(!s.form->change);
    }

    // A cancelled re-index says so in the status line.
    void cancelledReindexIsReported()
    {
        Setup s(0);
        const int n = 200000; // enough that the run lets events run many times
        s.program.Records.Items.Reserve(n);
        for (int i = 0; i < n; ++i) {
            auto r = std::make_shared<Record>();
            r->SetRecord(field::Address, QString::number(i));
            s.program.Records.Items.Add(r);
        }
        s.form->RefreshData();
        QTimer poll;
        poll.setInterval(1);
        connect(&poll, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* progress = qobject_cast<ProcessForm*>(w);
                if (progress && progress->isVisible() && progress->Progress->value() > 0) {
                    poll.stop();
                    QCOMPARE(s.form->Status->text(), QStringLiteral("Индексирование…"));
                    click(progress->Command1);
                    return;
                }
            }
        });
        poll.start();
        click(s.form->Command6);
        QVERIFY(!poll.isActive());
        QCOMPARE(s.form->Status->text(), QStringLiteral("Индексирование отменено."));
    }

    // An import run that took listings brings values the knowledge base may
    // lack: closing offers the re-index.
    void importThatTookListingsOffersTheReindex()
    {
        Setup s;
        DemoSite site({.count = 2, .pageSize = 2});
        QVERIFY(site.Listen());
        qputenv("VESTRANA_SITE", site.Address().toUtf8());
        const auto unset = qScopeGuard([] { qunsetenv("VESTRANA_SITE"); });
        s.prompts.answers.enqueue(Prompts::No); // keep the listings held
        QTimer runner;
        runner.setSingleShot(true);
        connect(&runner, &QTimer::timeout, this, [&] {
            auto* sync = qobject_cast<SyncForm*>(QApplication::activeModalWidget());
            if (!sync) {
                runner.start(5);
                return;
            }
            sync->RunOptions.requestsPerSecond = 0; // the site is on this machine
            click(sync->Command1);                  // the run, to its total
            sync->close();
        });
        runner.start(0);
        click(s.form->Command5);
        QCOMPARE(s.program.Records.Items.Count(), 5);
        QVERIFY(s.form->change);
        s.prompts.answers.enqueue(Prompts::No);
        click(s.form->Command4);
        QCOMPARE(s.prompts.texts().last(),
                 QStringLiteral("База данных изменена, вы хотите выполнить индексирование БД?"));
    }

    // The buttons follow the program's busy state as soon as it changes.
    void buttonsWaitWhileARunIsGoing()
    {
        Setup s;
        const QList<QPushButton*> buttons{s.form->Command1, s.form->Command2, s.form->Command3,
                                          s.form->Command4, s.form->Command5, s.form->Command6};
        {
            Program::BusyScope run(s.program);
            for (QPushButton* b : buttons)
                QVERIFY(!b->isEnabled());
            QVERIFY(!s.form->DedupeAction->isEnabled());
        }
        for (QPushButton* b : buttons)
            QVERIFY(b->isEnabled());
    }

    // An error inside a button's handler is shown through the prompts, and the
    // window goes on working.
    void errorInAHandlerIsShownAndTheEditorGoesOn()
    {
        Setup s;
        s.selectRow(*s.form, 2);
        // The listing goes behind the list's back: editing it is out of range.
        s.program.Records.Items.Remove(3);
        click(s.form->Command3);
        QCOMPARE(s.prompts.messages.size(), 1);
        QVERIFY(s.prompts.messages[0].text.startsWith(
            QStringLiteral("Ошибка: Индекс вне допустимого диапазона")));
        QCOMPARE(s.prompts.messages[0].icon, Prompts::Icon::Critical);
        QCOMPARE(s.prompts.messages[0].title, QStringLiteral("Vestrana"));
        s.form->RefreshData();
        QCOMPARE(s.form->List->model()->rowCount(), 2);
        QVERIFY(s.form->Command3->isEnabled());
    }

    void everyOpenEditorShowsChanges()
    {
        Setup s;
        auto other = s.newEditor();
        const auto poll = whenRecordDialogShown(
            [&](RecordForm* dialog) { click(dialog->findChild<QPushButton*>(QStringLiteral("Command1"))); });
        click(s.form->Command1);
        QCOMPARE(other->List->model()->rowCount(), 4);

        s.prompts.answers.enqueue(Prompts::Yes);
        s.selectRow(*other, 0);
        click(other->Command2);
        QCOMPARE(s.form->List->model()->rowCount(), 3);
        QCOMPARE(cell(*s.form, 0, 5), QStringLiteral("ул. Мира, 2"));
        // Only the window that added asks about the re-index on closing.
        QVERIFY(s.form->change);
        QVERIFY(!other->change);
    }

    // "Удалить повторы…" from the list's context menu: the question names how
    // many listings go and the backup, "Нет" keeps them all, "Да" writes every
    // listing to database.txt.bak and keeps the newest listing of each flat
    // (no dates: the last one), and another open editor shows the result.
    void dedupeFromTheContextMenu()
    {
        QTemporaryDir dir;
        Setup s(0);
        s.program.DataDir = dir.path();
        for (int i = 1; i <= 3; ++i)
            AddListing(s.program,
                       {"Центр", "2", "5", "кирпичный", QStringLiteral("ул. Мира, %1").arg(i), "1500", "54"});
        AddListing(s.program, {"Центр", "2", "5/9", "кирпичный", "УЛ. МИРА, 1", "1700", "54"});
        AddListing(s.program, {"Центр", "2", "5", "кирпичный", " ул. Мира, 3", "1500", "54"});
        AddListing(s.program, {"Центр", "2", "6", "кирпичный", "ул. Мира, 3", "1500", "54"});
        s.form->RefreshData();
        auto other = s.newEditor();
        const auto openMenu = [&] {
            const QRect r = s.form->List->visualRect(s.form->List->model()->index(0, 1));
            QContextMenuEvent event(QContextMenuEvent::Mouse, r.center(),
                                    s.form->List->viewport()->mapToGlobal(r.center()));
            QApplication::sendEvent(s.form->List->viewport(), &event);
            QTRY_VERIFY(s.form->ListMenu->isVisible());
            QCOMPARE(s.form->DedupeAction->text(), QStringLiteral("Удалить повторы…"));
            QTest::mouseClick(s.form->ListMenu, Qt::LeftButton, {},
                              s.form->ListMenu->actionGeometry(s.form->DedupeAction).center());
        };
        const QString backup = dir.filePath(QStringLiteral("database.txt.bak"));

        s.prompts.answers.enqueue(Prompts::No);
        openMenu();
        QCOMPARE(s.prompts.messages.size(), 1);
        const ScriptedPrompts::Shown question = s.prompts.messages[0];
        QVERIFY2(question.text.startsWith(QStringLiteral("Будет удалено объявлений: 2.")),
                 qPrintable(question.text));
        QVERIFY2(question.text.contains(QDir::toNativeSeparators(backup)), qPrintable(question.text));
        QVERIFY(!QFile::exists(backup));
        QCOMPARE(question.title, QStringLiteral("Подтверждение"));
        QCOMPARE(question.buttons, int(Prompts::Yes | Prompts::No | Prompts::DefaultNo));
        QCOMPARE(s.program.Records.Items.Count(), 6);

        s.prompts.answers.enqueue(Prompts::Yes);
        openMenu();
        QCOMPARE(s.program.Records.Items.Count(), 4);
        QCOMPARE(s.form->List->model()->rowCount(), 4);
        QCOMPARE(other->List->model()->rowCount(), 4);
        QStringList addresses;
        for (int p = 1; p <= 4; ++p)
            addresses << address(s.program, p);
        QCOMPARE(addresses, (QStringList{"ул. Мира, 2", "УЛ. МИРА, 1", " ул. Мира, 3", "ул. Мира, 3"}));
        QCOMPARE(s.program.Records.Items.Item(2)->GetRecord(field::Price), QStringLiteral("1700"));
        // The backup holds all six as they were before.
        QCOMPARE(testsupport::ReadBytes(backup).count("\r\n"), 6);
        QVERIFY(!s.form->change);
        QCOMPARE(s.form->Status->text(), QStringLiteral("Удалено повторов: 2."));

        openMenu();
        QCOMPARE(s.prompts.messages.last().text, QStringLiteral("Повторяющихся объявлений в базе нет."));
        QCOMPARE(s.prompts.messages.size(), 3);

        // Not while a run reads the listings.
        {
            Program::BusyScope run(s.program);
            QTRY_VERIFY(!s.form->DedupeAction->isEnabled());
        }
        QTRY_VERIFY(s.form->DedupeAction->isEnabled());
    }

    // Enter at the real question answers "Нет": nothing is deleted.
    void enterAtTheDedupeQuestionDeletesNothing()
    {
        Setup s(0);
        for (const char* street : {"ул. Мира, 1", "ул. Мира, 2", "ул. Мира, 1"})
            AddListing(s.program, {"Центр", "2", "5", "кирпичный", QString::fromUtf8(street), "1500", "54"});
        s.form->RefreshData();
        GuiPrompts gui;
        s.form = s.newEditor(gui);
        QString defaultButton;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        });
        poll.start();
        s.form->DedupeAction->trigger();
        QCOMPARE(defaultButton, QStringLiteral("Нет"));
        QCOMPARE(s.program.Records.Items.Count(), 3);
    }
};

QTEST_MAIN(TestEditorForm)
#include "tst_gui_editorform.moc"
