#include "search/MainForm.h"
#include "search/Program.h"
#include "support/Fixtures.h"
#include "support/GuiTestSupport.h"
#include "support/ScriptedPrompts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using fixtures::AddListing;
using guitest::TypeText;

namespace {


} // namespace

class TestGuiSearch : public QObject
{
    Q_OBJECT
private:
    // A window over listings in memory (the files are never touched: no StartUp).
    struct Setup
    {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        Program program{dir.path()};
        std::unique_ptr<MainForm> form;
        Setup()
        {
            program.UserPrompts = &prompts;
            program.InitAttributeNames();
            KnowledgeBase& kb = program.Knowledge;
            kb.AttributeKinds[0] = kinds::Ordinal;
            kb.AttributeKinds[5] = kinds::Numeric;
            kb.AttributeMin[5] = 1000;
            kb.AttributeMax[5] = 2000;
            for (int i = 1; i <= 30; ++i)
                AddListing(program, {i % 2 ? QStringLiteral("Центр") : QStringLiteral("Заречье"), QStringLiteral("2"),
                                     QStringLiteral("5"), QStringLiteral("кирпичный"), QStringLiteral("ул. Мира, %1").arg(i),
                                     QString::number(1000 + i * 10), QStringLiteral("54"), QStringLiteral("32"),
                                     QStringLiteral("8"), {}, {}, {}, {}, QStringLiteral("Агентство %1").arg(i), {},
                                     QStringLiteral("Описание %1").arg(i), QStringLiteral("9")});
            form = std::make_unique<MainForm>(program);
            form->show();
        }
    };

private Q_SLOTS:
    void typedWishesGiveRankedRows()
    {
        Setup s;
        TypeText(s.form->WishBox(0)->lineEdit(), QStringLiteral("центр "));
        QTest::keyClicks(s.form->WishBox(5)->lineEdit(), QStringLiteral("1150"));
        auto* button = s.form->findChild<QPushButton*>(QStringLiteral("Command1"));
        QSignalSpy done(s.form.get(), &MainForm::searchFinished);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("&Остановить"));
        QVERIFY(done.wait(5000));
        QCOMPARE(button->text(), QStringLiteral("&Поиск"));
        QCOMPARE(s.form->findChild<QLabel*>(QStringLiteral("Label23"))->text(), QString());
        auto* list = s.form->findChild<QTreeWidget*>(QStringLiteral("List"));
        // The display refresh draws the rows within a second.
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 10, 3000);
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

    void closeDuringRunEndsTheRunThenSaves()
    {
        Setup s;
        for (int i = 0; i < 300000; ++i)
            s.program.Records.Items.Add(std::make_shared<Record>());
        s.program.Knowledge.AttributeKinds[0] = kinds::Ordinal;
        s.form->WishBox(0)->setEditText(QStringLiteral("нигде"));
        // A formula for every listing makes the run last long enough (well over
        // the 15 ms between its yields) on any machine.
        s.program.Knowledge.AttributeKinds[10] = kinds::ByFormula;
        s.program.Knowledge.AttributeFormulas[10] = QStringLiteral("Abs(-5) * 2 + Sqr(16)");
        s.form->WishBox(10)->setEditText(QStringLiteral("50"));
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
