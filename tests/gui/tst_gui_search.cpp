// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ChoiceBox.h"
#include "gui/MainForm.h"
#include "program/Program.h"
#include "search/SearchRun.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/GuiTestSupport.h"
#include "support/ProgramSetup.h"
#include "support/ScriptedPrompts.h"
#include "support/Waits.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QWheelEvent>

using fixtures::AddListing;
using guitest::TypeText;

namespace {

void setEntries(QComboBox* box, const QStringList& entries)
{
    static_cast<QStringListModel*>(box->model())->setStringList(entries);
    box->setEditText(QString());
}

// The tooltip a hover over the cell would show (empty: none).
QString toolTipOf(QTreeWidget* list, int row, int column)
{
    const QRect r = list->visualItemRect(list->topLevelItem(row));
    const int x = list->header()->sectionViewportPosition(column) + 4;
    const QPoint at(x, r.center().y());
    QHelpEvent e(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &e);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

class TestGuiSearch : public QObject
{
    Q_OBJECT
private:
    // A window over listings in memory (the files are never touched: no StartUp).
    struct Setup : testsupport::WindowSetup<MainForm>
    {
        Setup()
        {
            KnowledgeBase& kb = program.Knowledge;
            kb.AttributeKinds[field::District] = kinds::Ordinal;
            kb.AttributeKinds[field::Price] = kinds::Numeric;
            kb.AttributeMin[field::Price] = 1000;
            kb.AttributeMax[field::Price] = 2000;
            for (int i = 1; i <= 30; ++i)
                AddListing(program, {i % 2 ? QStringLiteral("Центр") : QStringLiteral("Заречье"),
                                     QStringLiteral("2"),
                                     QStringLiteral("5"),
                                     QStringLiteral("кирпичный"),
                                     QStringLiteral("ул. Мира, %1").arg(i),
                                     QString::number(1000 + i * 10),
                                     QStringLiteral("54"),
                                     QStringLiteral("32"),
                                     QStringLiteral("8"),
                                     {},
                                     {},
                                     {},
                                     {},
                                     QStringLiteral("Агентство %1").arg(i),
                                     {},
                                     QStringLiteral("Описание %1").arg(i),
                                     QStringLiteral("9")});
            Open();
        }
    };

private Q_SLOTS:
    void typedWishesGiveRankedRows()
    {
        Setup s;
        TypeText(s.form->WishBox(field::District)->lineEdit(), QStringLiteral("центр "));
        QTest::keyClicks(s.form->WishBox(field::Price)->lineEdit(), QStringLiteral("1150"));
        auto* button = s.form->findChild<QPushButton*>(QStringLiteral("Command1"));
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("&Остановить"));
        QVERIFY(done.wait(5000));
        QCOMPARE(button->text(), QStringLiteral("&Поиск"));
        QCOMPARE(s.form->findChild<QLabel*>(QStringLiteral("Label23"))->text(), QString());
        auto* list = s.form->findChild<QTreeWidget*>(QStringLiteral("List"));
        // The rows are there as soon as the run ends, not at the display timer's next tick.
        QCOMPARE(list->topLevelItemCount(), 10);
        QTreeWidgetItem* first = list->topLevelItem(0);
        // Listing 15: Центр and 1150 exactly.
        QCOMPARE(first->text(0), QStringLiteral("Центр"));
        QCOMPARE(first->text(2), QStringLiteral("5/9"));
        QCOMPARE(first->text(4), QStringLiteral("ул. Мира, 15"));
        QCOMPARE(first->text(5), QStringLiteral("54/32/8"));
        QCOMPARE(first->text(6), QStringLiteral("Описание 15"));
        QCOMPARE(first->text(7), QStringLiteral("1150"));
        QCOMPARE(first->text(8), QStringLiteral("Агентство 15"));
        QCOMPARE(first->text(9), QStringLiteral(" 100"));
        // Next: the other Центр listings 10 apart in price (13 and 17), in database order.
        QCOMPARE(list->topLevelItem(1)->text(4), QStringLiteral("ул. Мира, 13"));
        QCOMPARE(list->topLevelItem(2)->text(4), QStringLiteral("ул. Мира, 17"));
        QCOMPARE(list->topLevelItem(1)->text(9), QStringLiteral(" 99.9"));
        QVERIFY(!list->topLevelItem(0)->icon(0).isNull());
    }

    // The boxes offer their lists, but what the user typed is what is searched:
    // 60 stays 60 even though 60.2 is listed.
    void typedWishIsSearchedAsTyped_data()
    {
        QTest::addColumn<field::Field>("attribute");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("typed");
        QTest::newRow("area 60 with 60.2 listed") << field::TotalArea << QStringList{"60.2", "61"} << "60";
        QTest::newRow("floor 1 with 10 listed") << field::Floor << QStringList{"10", "12"} << "1";
        QTest::newRow("price 3 with the fixed 3000") << field::Price << QStringList{} << "3";
        QTest::newRow("district in other case") << field::District << QStringList{"ЦЕНТР"} << "центр";
    }
    void typedWishIsSearchedAsTyped()
    {
        QFETCH(field::Field, attribute);
        QFETCH(QStringList, entries);
        QFETCH(QString, typed);
        Setup s;
        QComboBox* box = s.form->WishBox(attribute);
        if (!entries.isEmpty()) setEntries(box, entries);
        box->setFocus();
        TypeText(box->lineEdit(), typed);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(box->currentText(), typed);
        QCOMPARE(s.form->ReadWishes()[attribute], typed);
    }

    void typedAreaRanksTheExactListingFirst()
    {
        Setup s;
        s.program.Knowledge.AttributeKinds[field::TotalArea] = kinds::Numeric;
        s.program.Knowledge.AttributeMin[field::TotalArea] = 50;
        s.program.Knowledge.AttributeMax[field::TotalArea] = 70;
        s.program.Records.Items.Item(1)->SetRecord(field::TotalArea, QStringLiteral("60.2"));
        s.program.Records.Items.Item(2)->SetRecord(field::TotalArea, QStringLiteral("60"));
        setEntries(s.form->WishBox(field::TotalArea), {"60.2", "60"});
        TypeText(s.form->WishBox(field::TotalArea)->lineEdit(), QStringLiteral("60"));
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(s.form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(done.wait(5000));
        QCOMPARE(s.program.FoundList.first()->GetRecord(field::TotalArea), QStringLiteral("60"));
        QCOMPARE(SearchRun::ScoreText(s.program.FoundList.first()->So), QStringLiteral(" 100"));
    }

    // A re-index lists the empty text wherever a field is blank and the expert
    // rated it 0: all boxes empty still finds the first ten, each at 100.
    void everyBoxEmptyWithAnEmptyAcceptedValue()
    {
        Setup s;
        KnowledgeBase& kb = s.program.Knowledge;
        for (field::Field k : {field::District, field::Stop, field::Telephone}) {
            kb.AttributeKinds[k] = kinds::ByValue;
            kb.AttributeValueLists[k].Append(QString(), QStringLiteral("0"));
            kb.AttributeValueLists[k].Append(QStringLiteral("есть"), QStringLiteral("100"));
        }
        s.program.Records.Items.Item(3)->SetRecord(field::Telephone, QStringLiteral("есть"));
        s.form->WishBox(field::Telephone)->setEditText(QStringLiteral("  "));
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(s.form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(done.wait(5000));
        auto* list = s.form->findChild<QTreeWidget*>(QStringLiteral("List"));
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 10, 3000);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(list->topLevelItem(i)->text(4), QStringLiteral("ул. Мира, %1").arg(i + 1));
            QCOMPARE(list->topLevelItem(i)->text(9), QStringLiteral(" 100"));
        }
        QCOMPARE(s.form->findChild<QLabel*>(QStringLiteral("LabelHint"))->text(), QString());
    }

    // A wish the search cannot use is marked as it is typed, named in the hint
    // and left out; fixing it clears the mark.
    void wishNotUsedIsNamed()
    {
        Setup s;
        s.program.Knowledge.AttributeKinds[field::Rooms] = kinds::Numeric;
        QComboBox* rooms = s.form->WishBox(field::Rooms);
        QComboBox* price = s.form->WishBox(field::Price);
        TypeText(rooms->lineEdit(), QStringLiteral("два"));
        price->setEditText(QStringLiteral("Договорная")); // picked from its list
        TypeText(s.form->WishBox(field::District)->lineEdit(), QStringLiteral("Центр")); // a text wish
        const QString roomsHint =
            QStringLiteral("«два» — не число; пожелание «Количество комнат» не учитывается.");
        const QString priceHint =
            QStringLiteral("«Договорная» — не число; пожелание «Цена (т.р) от» не учитывается.");
        QCOMPARE(s.form->WishHintText(), roomsHint + u'\n' + priceHint);
        QVERIFY(!rooms->styleSheet().isEmpty());
        QVERIFY(s.form->WishBox(field::District)->styleSheet().isEmpty());
        QCOMPARE(rooms->toolTip(), QStringLiteral("Количество комнат, численное значение\n") + roomsHint);
        // Not scored: every listing matches the rest (district Центр) fully.
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(s.form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(done.wait(5000));
        QCOMPARE(s.program.FoundList.size(), 10);
        for (const RecordPtr& r : s.program.FoundList)
            QCOMPARE(r->So, 100.0f);
        rooms->setEditText(QStringLiteral("2"));
        price->setEditText(QString());
        QCOMPARE(s.form->WishHintText(), QString());
        QVERIFY(rooms->styleSheet().isEmpty());
        QCOMPARE(rooms->toolTip(), QStringLiteral("Количество комнат, численное значение"));
    }

    // A misspelt accepted value: the hint offers the nearest, a click puts it in the box.
    void unknownValueOffersTheNearest()
    {
        Setup s;
        KnowledgeBase& kb = s.program.Knowledge;
        kb.AttributeKinds[field::District] = kinds::ByValue;
        kb.AttributeValueLists[field::District].Append(QStringLiteral("Центр"), QStringLiteral("90"));
        kb.AttributeValueLists[field::District].Append(QStringLiteral("Заречье"), QStringLiteral("30"));
        QComboBox* district = s.form->WishBox(field::District);
        TypeText(district->lineEdit(), QStringLiteral("Заречя"));
        QCOMPARE(s.form->WishHintText(),
                 QStringLiteral("«Заречя» нет среди значений «Район»; может быть, «Заречье»?"));
        auto* hint = s.form->findChild<QLabel*>(QStringLiteral("LabelHint"));
        const QRegularExpressionMatch link =
            QRegularExpression(QStringLiteral("href=\"([^\"]+)\"")).match(hint->text());
        QVERIFY(link.hasMatch());
        Q_EMIT hint->linkActivated(link.captured(1));
        QCOMPARE(district->currentText(), QStringLiteral("Заречье"));
        QCOMPARE(s.form->WishHintText(), QString());
        QVERIFY(district->styleSheet().isEmpty());
    }

    // A distance wish in metres is shown as the score it stands for.
    void formulaWishShowsItsScore()
    {
        Setup s;
        KnowledgeBase& kb = s.program.Knowledge;
        kb.AttributeKinds[field::StopDistance] = kinds::ByFormula;
        kb.AttributeFormulas[field::StopDistance] = QStringLiteral("100 - Расстояние до остановки / 20");
        QComboBox* box = s.form->WishBox(field::StopDistance);
        QTest::keyClicks(box->lineEdit(), QStringLiteral("500"));
        const QString said = QStringLiteral("«Расстояние до остоновки (м)»: 500 м → 75 из 100");
        QCOMPARE(box->toolTip(), said);
        QCOMPARE(s.form->WishHintText(), said);
        QVERIFY(box->styleSheet().isEmpty());
    }

    // A formula that fails for every listing is named after the search.
    void formulaFailingEverywhereIsNamed()
    {
        Setup s;
        KnowledgeBase& kb = s.program.Knowledge;
        kb.AttributeKinds[field::Telephone] = kinds::ByFormula;
        // Another attribute's field, a word in every listing: the formula fails for each.
        kb.AttributeFormulas[field::Telephone] = QStringLiteral("Агенство + 1");
        QTest::keyClicks(s.form->WishBox(field::Telephone)->lineEdit(), QStringLiteral("50"));
        QCOMPARE(s.form->WishHintText(), QString());
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(s.form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(done.wait(5000));
        QVERIFY2(s.form->WishHintText().startsWith(
                     QStringLiteral("«Наличие телефона»: формула не вычислилась ни для одной квартиры")),
                 qPrintable(s.form->WishHintText()));
        QVERIFY(s.form->WishHintText().contains(QStringLiteral("«Телефон»")));
        // A listing for which it works: no longer named.
        s.program.Records.Items.Item(2)->SetRecord(field::Agency, QStringLiteral("1"));
        QTest::mouseClick(s.form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(done.wait(5000));
        QCOMPARE(s.form->WishHintText(), QString());
    }

    // Typing filters the list by a match anywhere, as wide as its entries, and
    // never completes the box's text.
    void typingFiltersTheList()
    {
        Setup s;
        QComboBox* address = s.form->WishBox(field::Address);
        QStringList streets;
        for (int i = 1; i <= 30; ++i)
            streets << QStringLiteral("ул. Мира, %1").arg(i);
        const QString longest =
            QStringLiteral("пр-т Героев Великой Отечественной войны, д. 118, корп. 2, кв. 19");
        streets << longest;
        setEntries(address, streets);
        address->setFocus();
        TypeText(address->lineEdit(), QStringLiteral("мира, 2"));
        auto* box = static_cast<ChoiceBox*>(address);
        QAbstractItemView* popup = box->Filter()->popup();
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(address->currentText(), QStringLiteral("мира, 2"));
        QStringList shown;
        for (int i = 0; i < popup->model()->rowCount(); ++i)
            shown << popup->model()->index(i, 0).data().toString();
        QStringList expected{QStringLiteral("ул. Мира, 2")};
        for (int i = 20; i <= 29; ++i)
            expected << QStringLiteral("ул. Мира, %1").arg(i);
        QCOMPARE(shown, expected);
        const int wide = popup->fontMetrics().horizontalAdvance(longest);
        QVERIFY2(popup->width() > wide, qPrintable(QString::number(popup->width())));
        QVERIFY(popup->width() > address->width());
        QVERIFY(popup->geometry().right() <= popup->screen()->availableGeometry().right());
        QTest::keyClick(popup, Qt::Key_Escape);
        // The box's own list is as wide too.
        address->showPopup();
        QTRY_VERIFY(address->view()->isVisible());
        QVERIFY(address->view()->width() > wide);
        address->hidePopup();
    }

    // Scrolling past a box without focus leaves its wish alone.
    void wheelChangesOnlyAFocusedBox()
    {
        Setup s;
        QComboBox* rooms = s.form->WishBox(field::Rooms);
        setEntries(rooms, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
        s.form->findChild<QPushButton*>(QStringLiteral("Command1"))->setFocus();
        QTRY_VERIFY(!rooms->hasFocus());
        auto wheel = [&] {
            const QPoint at = rooms->rect().center();
            QWheelEvent e(at, rooms->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QApplication::sendEvent(rooms, &e);
        };
        wheel();
        QCOMPARE(rooms->currentText(), QString());
        rooms->setFocus();
        QTRY_VERIFY(rooms->hasFocus());
        wheel();
        QVERIFY(!rooms->currentText().isEmpty());
    }

    // A stop during the scoring pass still ranks and shows what was scored.
    void stopWhileScoringShowsWhatWasScored()
    {
        Setup s;
        for (int i = 0; i < 300000; ++i)
            s.program.Records.Items.Add(std::make_shared<Record>());
        s.program.Knowledge.AttributeKinds[field::StopDistance] = kinds::ByFormula;
        s.program.Knowledge.AttributeFormulas[field::StopDistance] = QStringLiteral("Abs(-5) * 2 + Sqr(16)");
        s.form->WishBox(field::StopDistance)->setEditText(QStringLiteral("50"));
        auto* button = s.form->findChild<QPushButton*>(QStringLiteral("Command1"));
        auto* progress = s.form->findChild<QLabel*>(QStringLiteral("Label23"));
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        bool stopped = false;
        QTimer stopper;
        stopper.setInterval(1);
        connect(&stopper, &QTimer::timeout, [&] {
            if (!stopped && s.form->SearchRunning() &&
                progress->text().startsWith(QStringLiteral("Обработка"))) {
                stopped = true;
                QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        stopper.start();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(done.wait(20000));
        QVERIFY(stopped);
        QVERIFY(progress->text().startsWith(QStringLiteral("Поиск остановлен: просмотрено ")));
        QVERIFY(progress->text().endsWith(QStringLiteral(" из 300030 записей.")));
        // The 30 listings come first, so they were scored and lead the list.
        auto* list = s.form->findChild<QTreeWidget*>(QStringLiteral("List"));
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 10, 3000);
        QCOMPARE(button->text(), QStringLiteral("&Поиск"));
        // The next run starts with a clean progress text.
        s.program.Records.Items.Clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(done.wait(5000));
        QCOMPARE(progress->text(), QString());
    }

    // Cut-off cells and headers of the result list show their whole text on hover.
    void cutOffCellsHaveToolTips()
    {
        Setup s;
        const QString longAddress = QStringLiteral("ул. Героев Труда, д. 118, кв. 19, подъезд 2");
        s.program.Records.Items.Item(1)->SetRecord(field::Address, longAddress);
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(s.form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(done.wait(5000));
        auto* list = s.form->findChild<QTreeWidget*>(QStringLiteral("List"));
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 10, 3000);
        QCOMPARE(toolTipOf(list, 0, 1), QString()); // "2" fits
        QCOMPARE(toolTipOf(list, 0, 4), longAddress);
        QCOMPARE(list->headerItem()->toolTip(9), QStringLiteral("% совпадения"));
        QVERIFY(list->header()->stretchLastSection());
        QCOMPARE(list->header()->sectionResizeMode(4), QHeaderView::Interactive);
    }

    void clickWhileArmedDisarms()
    {
        Setup s;
        auto* button = s.form->findChild<QPushButton*>(QStringLiteral("Command1"));
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("&Поиск"));
        QVERIFY(!s.form->SearchActive());
        QVERIFY(s.program.FoundList.isEmpty());
    }

    // Closed twice while a run holds the program: the window closes once, after the run.
    void closeTwiceWhileBusyClosesOnce()
    {
        Setup s;
        QSignalSpy down(s.form.get(), &MainForm::shutDown);
        {
            Program::BusyScope run(s.program);
            s.form->close();
            s.form->close();
            QCOMPARE(down.count(), 0);
        }
        QTRY_COMPARE(down.count(), 1);
        QVERIFY(testsupport::StaysQuiet(down, 200));
    }

    void closeDuringRunEndsTheRunThenSaves()
    {
        Setup s;
        for (int i = 0; i < 300000; ++i)
            s.program.Records.Items.Add(std::make_shared<Record>());
        s.program.Knowledge.AttributeKinds[field::District] = kinds::Ordinal;
        s.form->WishBox(field::District)->setEditText(QStringLiteral("нигде"));
        // A formula for every listing makes the run last long enough (well over
        // the 15 ms between its yields) on any machine.
        s.program.Knowledge.AttributeKinds[field::StopDistance] = kinds::ByFormula;
        s.program.Knowledge.AttributeFormulas[field::StopDistance] = QStringLiteral("Abs(-5) * 2 + Sqr(16)");
        s.form->WishBox(field::StopDistance)->setEditText(QStringLiteral("50"));
        QSignalSpy down(s.form.get(), &MainForm::shutDown);
        auto* button = s.form->findChild<QPushButton*>(QStringLiteral("Command1"));
        // Closing from inside the run (as the window system would, at one of the
        // run's yields): the run ends first, then the window closes.
        bool closedDuringRun = false;
        QTimer closer;
        closer.setInterval(1);
        connect(&closer, &QTimer::timeout, [&] {
            if (s.form->SearchRunning() && !closedDuringRun) {
                closedDuringRun = true;
                s.form->close();
                QVERIFY(s.form->isVisible());
            }
        });
        closer.start();
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(closedDuringRun, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!s.form->SearchRunning(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 3000);
        QVERIFY(!s.program.Busy());
    }
};

QTEST_MAIN(TestGuiSearch)
#include "tst_gui_search.moc"
