// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ExpertForm.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/GuiTestSupport.h"
#include "support/ProgramSetup.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using fixtures::AddListing;
using guitest::TypeText;

namespace {

const QString kValueMessage = "Формализованное значение - число от 0 до 100";

} // namespace

class TestGuiExpertForm : public QObject
{
    Q_OBJECT
private:
    // A knowledge base in memory with a few kinds and values, three listings and
    // an open editor over them.
    struct Setup : testsupport::WindowSetup<ExpertForm>
    {
        QListWidget* list = nullptr;
        QTreeView* values = nullptr;
        QGroupBox* frame1 = nullptr;
        QGroupBox* frame2 = nullptr;
        QComboBox* kind = nullptr;
        QLineEdit* formula = nullptr;
        QLineEdit* comment = nullptr;
        QLineEdit* score = nullptr;
        QPushButton* check = nullptr;
        QPushButton* add = nullptr;

        explicit Setup(bool withListings = true)
        {
            KnowledgeBase& kb = program.Knowledge;
            kb.AttributeKinds[field::District] = kinds::Ordinal;
            kb.AttributeValueLists[field::District].Append("ЦЕНТР", "90");
            kb.AttributeValueLists[field::District].Append("заречье", "30");
            kb.AttributeKinds[field::HouseType] = kinds::ByValue;
            kb.AttributeComments[field::HouseType] = "Материал стен";
            kb.AttributeValueLists[field::HouseType].Append("кирпичный", "80");
            kb.AttributeValueLists[field::HouseType].Append("панельный", "40");
            kb.AttributeValueLists[field::HouseType].Append("блочный", "60");
            kb.AttributeKinds[field::Price] = kinds::ByFormula;
            kb.AttributeFormulas[field::Price] = "Цена/Общая площадь";
            kb.AttributeKinds[field::Stop] = kinds::ByValue;
            if (withListings) {
                AddListing(program, {"Центр", "2", "5", "кирпичный", "ул. Мира, 1", "1500", "50", "30", "8"});
                AddListing(program,
                           {"Заречье", "1", "2", "панельный", "ул. Мира, 2", "900", "30", "18", "6"});
                AddListing(program, {"Центр", "3", "7", "блочный", "ул. Мира, 3", "2400", "80", "50", "10"});
            }
            Open();
            list = form->findChild<QListWidget*>("List");
            values = form->findChild<QTreeView*>("ListView1");
            frame1 = form->findChild<QGroupBox*>("Frame1");
            frame2 = form->findChild<QGroupBox*>("Frame2");
            kind = form->findChild<QComboBox*>("Combo1");
            formula = form->findChild<QLineEdit*>("Text1");
            comment = form->findChild<QLineEdit*>("Text2");
            score = form->findChild<QLineEdit*>("Text3");
            check = form->findChild<QPushButton*>("Command1");
            add = form->findChild<QPushButton*>("Command2");
        }

        void clickAttribute(field::Field k, Qt::KeyboardModifiers mods = Qt::NoModifier)
        {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                              list->visualItemRect(list->item(field::Index(k))).center());
        }
        void clickValue(int row)
        {
            QTest::mouseClick(values->viewport(), Qt::LeftButton, Qt::NoModifier,
                              values->visualRect(values->model()->index(row, 0)).center());
        }
        int selectedValue() const
        {
            const QModelIndexList rows = values->selectionModel()->selectedRows();
            return rows.isEmpty() ? -1 : rows.first().row();
        }
        QStringList listed() const
        {
            QStringList out;
            for (int r = 0; r < values->model()->rowCount(); ++r)
                out << values->model()->index(r, 0).data().toString();
            return out;
        }
        // Picks a kind from the drop-down list, as the user does with the keyboard.
        void pickKind(const QString& text)
        {
            kind->showPopup();
            QAbstractItemView* view = kind->view();
            view->setCurrentIndex(view->model()->index(kind->findText(text), 0));
            QTest::keyClick(view, Qt::Key_Return);
        }
        void pressDelete() { QTest::keyClick(values, Qt::Key_Delete); }
        const AttributeValueList& table(field::Field k) const
        {
            return program.Knowledge.AttributeValueLists[k];
        }
        // Lets the 100 ms enabling check run at least once.
        void waitForCheck()
        {
            QSignalSpy ticks(form->findChild<QTimer*>("Timer1"), &QTimer::timeout);
            QVERIFY(ticks.wait(1000));
        }
    };

private Q_SLOTS:
    // A long formula shows its start; typing in its middle stores every key
    // and leaves the cursor where it was. Cut-off names have their tooltip.
    void formulaShowsItsStartAndKeepsTheCursor()
    {
        Setup s;
        const QString longFormula =
            QStringLiteral("100 - Расстояние до остоновки (м) / 20 + 0 * Цена / Общая площадь");
        s.program.Knowledge.AttributeFormulas[field::Price] = longFormula;
        s.clickAttribute(field::District);
        s.clickAttribute(field::Price);
        QCOMPARE(s.formula->text(), longFormula);
        QCOMPARE(s.formula->cursorPosition(), 0);
        s.formula->setFocus();
        s.formula->setCursorPosition(4);
        QTest::keyClicks(s.formula, "1");
        QCOMPARE(s.program.Knowledge.AttributeFormulas[field::Price],
                 longFormula.left(4) + "1" + longFormula.mid(4));
        QCOMPARE(s.formula->cursorPosition(), 5);
        QCOMPARE(s.list->item(1)->toolTip(), QStringLiteral("Количество комнат"));
    }

    void openingShowsAttributeZero()
    {
        Setup s;
        QCOMPARE(s.form->windowTitle(), "Редактирование базы знаний");
        QVERIFY(s.form->isModal());
        QCOMPARE(s.list->count(), 17);
        QCOMPARE(s.list->item(16)->text(), "Количество этажей");
        QCOMPARE(s.list->iconSize(), QSize(32, 32));
        QVERIFY(!s.list->item(0)->icon().isNull());
        QCOMPARE(s.list->currentRow(), 0);
        QCOMPARE(s.form->listedAttribute(), std::optional(field::District));
        QCOMPARE(s.values->model()->headerData(0, Qt::Horizontal).toString(), "Значения");
        QCOMPARE(s.listed(), (QStringList{"ЦЕНТР", "заречье"}));
        QCOMPARE(s.selectedValue(), 0);
        QCOMPARE(s.frame1->title(), "Параметры атрибута: Район");
        QCOMPARE(s.frame2->title(), "Параметры значения атрибута: ЦЕНТР");
        QCOMPARE(s.score->text(), "90");
        QStringList offered;
        for (int i = 0; i < s.kind->count(); ++i)
            offered << s.kind->itemText(i);
        QCOMPARE(offered, (QStringList{kinds::ByValue, kinds::ByFormula, kinds::Ordinal, kinds::Numeric}));
        QCOMPARE(s.kind->currentText(), kinds::Ordinal);
        QCOMPARE(s.check->text(), "&Проверить формулу");
        QCOMPARE(s.add->text(), "&Добавить значение атрибута");
        QStringList texts;
        for (QLabel* l : s.form->findChildren<QLabel*>())
            texts << l->text();
        for (const char* t :
             {"Атрибуты:", "Принимаемые значения атрибута:", "Тип значения", "Комментарий",
              "Формула значимость = ", "Формализованное значение",
              "Значение - целое число в диапозоне от 0 до 100",
              "Формализованное значение определяется экспертом, численное значение определяется "
              "как некая полезность конкретного значения атрибута."})
            QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
        QVERIFY(s.prompts.messages.isEmpty());
    }

    // A long accepted value (a description is one) is shortened in the value
    // frame's title, whole in its tooltip, and the window keeps its width.
    void longValueKeepsTheWindowWidth()
    {
        Setup s;
        const QString longValue = QStringLiteral("Квартира в отличном состоянии, ") + QString(60, u'ж');
        s.program.Knowledge.AttributeValueLists[field::Description].Append(longValue, "0");
        QCoreApplication::processEvents();
        const int width = s.form->width();
        s.clickAttribute(field::Description);
        s.clickValue(0);
        QCoreApplication::processEvents();
        QVERIFY(s.frame2->title().startsWith("Параметры значения атрибута: Квартира в отличном"));
        QVERIFY(s.frame2->title().endsWith(QStringLiteral("…")));
        QCOMPARE(s.frame2->toolTip(), "Параметры значения атрибута: " + longValue);
        QVERIFY2(s.frame2->minimumSizeHint().width() <= s.frame2->width(), qPrintable(s.frame2->title()));
        QCOMPARE(s.form->width(), width);
        s.clickAttribute(field::HouseType);
        QCOMPARE(s.frame2->title(), "Параметры значения атрибута: кирпичный");
        QCOMPARE(s.frame2->toolTip(), QString());
    }

    void clickingTheSameAttributeKeepsTheValueSelection()
    {
        Setup s;
        s.clickAttribute(field::HouseType);
        s.clickValue(2);
        QCOMPARE(s.score->text(), "60");
        s.clickAttribute(field::HouseType);
        QTest::keyClick(s.list, Qt::Key_Shift);
        QCOMPARE(s.selectedValue(), 2);
        QCOMPARE(s.frame2->title(), "Параметры значения атрибута: блочный");
        // Moving along the attribute list with the keyboard refills the value list.
        QTest::keyClick(s.list, Qt::Key_Right);
        QCOMPARE(s.form->listedAttribute(), std::optional(field::Address));
        QCOMPARE(s.listed(), QStringList());
    }

    // Values removed behind the window's back (the shown list is not yet
    // relisted): picking a shown row that is no longer stored leaves the value
    // frame off instead of failing.
    void valueNoLongerStoredIsNotShown()
    {
        Setup s;
        s.clickValue(1);
        QCOMPARE(s.score->text(), "30");
        s.program.Knowledge.AttributeValueLists[field::District].Clear();
        s.clickValue(0);
        QCOMPARE(s.selectedValue(), 0);
        QVERIFY(!s.frame2->isEnabled());
        QVERIFY(s.prompts.messages.isEmpty());
    }

    void kindEnablesFormulaAndValueFrame_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("picked");
        QTest::addColumn<bool>("formulaOn");
        QTest::addColumn<bool>("valueFrameOn");
        QTest::newRow("formula kind") << kinds::ByFormula << true << true << false;
        QTest::newRow("value kind") << kinds::ByValue << true << false << true;
        QTest::newRow("ordinal") << kinds::Ordinal << true << false << false;
        QTest::newRow("numeric") << kinds::Numeric << true << false << false;
        QTest::newRow("a kind of none of the four") << "формализованный формулой" << false << false << false;
        QTest::newRow("no kind") << "" << false << false << false;
    }
    void kindEnablesFormulaAndValueFrame()
    {
        QFETCH(QString, kind);
        QFETCH(bool, picked);
        QFETCH(bool, formulaOn);
        QFETCH(bool, valueFrameOn);
        Setup s;
        s.clickAttribute(field::HouseType);
        if (picked) {
            s.pickKind(kind);
            QCOMPARE(s.program.Knowledge.AttributeKinds[field::HouseType], kind);
        } else {
            s.program.Knowledge.AttributeKinds[field::HouseType] = kind;
            s.clickAttribute(field::HouseType);
        }
        QCOMPARE(s.kind->currentText(), kind);
        QCOMPARE(s.formula->isEnabled(), formulaOn);
        QCOMPARE(s.frame2->isEnabled(), valueFrameOn);
        s.waitForCheck();
        QCOMPARE(s.frame2->isEnabled(), valueFrameOn);
        // Kind, comment and the check button follow the attribute frame only.
        QVERIFY(s.frame1->isEnabled() && s.kind->isEnabled() && s.comment->isEnabled() &&
                s.check->isEnabled());
        QVERIFY(s.add->isEnabled() && s.values->isEnabled() && s.list->isEnabled());
    }

    void enablingCheckDisablesWhatHasNoSelection()
    {
        Setup s;
        // A value kind with no values: the refresh enables the frame, the check disables it.
        s.clickAttribute(field::Stop);
        QVERIFY(s.frame2->isEnabled());
        QTRY_VERIFY(!s.frame2->isEnabled());
        QVERIFY(s.frame1->isEnabled());
        // With no attribute selected the attribute frame goes off too.
        s.clickAttribute(field::Stop, Qt::ControlModifier);
        QVERIFY(s.list->selectedItems().isEmpty());
        QTRY_VERIFY(!s.frame1->isEnabled());
        s.clickAttribute(field::HouseType);
        QTRY_VERIFY(s.frame1->isEnabled());
        QVERIFY(s.frame2->isEnabled());
    }

    void typedKindIsNotStored()
    {
        Setup s;
        s.clickAttribute(field::HouseType);
        s.kind->lineEdit()->selectAll();
        TypeText(s.kind->lineEdit(), "Числовой");
        QCOMPARE(s.program.Knowledge.AttributeKinds[field::HouseType], kinds::ByValue);
        QVERIFY(s.frame2->isEnabled());
        s.clickValue(1);
        QCOMPARE(s.kind->currentText(), kinds::ByValue);
    }

    void formulaAndCommentStoredOnEveryKeystroke()
    {
        Setup s;
        s.clickAttribute(field::Price);
        QCOMPARE(s.formula->text(), "Цена/Общая площадь");
        QVERIFY(s.formula->isEnabled());
        s.formula->selectAll();
        QTest::keyClick(s.formula, Qt::Key_Delete);
        QCOMPARE(s.program.Knowledge.AttributeFormulas[field::Price], "");
        const QString typed = "Цена*2";
        for (int i = 0; i < typed.size(); ++i) {
            TypeText(s.formula, typed.mid(i, 1));
            QCOMPARE(s.program.Knowledge.AttributeFormulas[field::Price], typed.left(i + 1));
        }
        TypeText(s.comment, "Дорого");
        QCOMPARE(s.program.Knowledge.AttributeComments[field::Price], "Дорого");
        QTest::keyClick(s.comment, Qt::Key_Backspace);
        QCOMPARE(s.program.Knowledge.AttributeComments[field::Price], "Дорог");

        s.clickAttribute(field::HouseType);
        QCOMPARE(s.formula->text(), "");
        QCOMPARE(s.comment->text(), "Материал стен");
        QVERIFY(!s.formula->isEnabled());
        s.clickAttribute(field::Price);
        QCOMPARE(s.formula->text(), "Цена*2");
        QCOMPARE(s.comment->text(), "Дорог");
        // Nothing leaked into the attribute looked at in between.
        QCOMPARE(s.program.Knowledge.AttributeFormulas[field::HouseType], "");
        QCOMPARE(s.program.Knowledge.AttributeComments[field::HouseType], "Материал стен");
        QVERIFY(s.prompts.messages.isEmpty());
    }

    void fieldAndLineSeparatorsAreRefused_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("pasted");
        QTest::newRow("bar typed in the formula") << "Text1"
                                                  << "|" << false;
        QTest::newRow("bar pasted into the formula") << "Text1"
                                                     << "Цена|2" << true;
        QTest::newRow("line break pasted into the comment") << "Text2"
                                                            << "две\r\nстроки" << true;
        QTest::newRow("bar typed in the comment") << "Text2"
                                                  << "|" << false;
    }
    void fieldAndLineSeparatorsAreRefused()
    {
        QFETCH(QString, box);
        QFETCH(QString, input);
        QFETCH(bool, pasted);
        Setup s;
        s.clickAttribute(field::Price);
        auto* edit = s.form->findChild<QLineEdit*>(box);
        auto* hint = s.form->findChild<QLabel*>("LabelHint");
        const QString before = edit->text();
        QVERIFY(!hint->isVisible());
        edit->setFocus();
        edit->end(false);
        if (pasted) {
            QApplication::clipboard()->setText(input);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        } else {
            TypeText(edit, input);
        }
        QCOMPARE(edit->text(), before);
        QCOMPARE(s.program.Knowledge.AttributeFormulas[field::Price], s.formula->text());
        QCOMPARE(s.program.Knowledge.AttributeComments[field::Price], s.comment->text());
        QVERIFY(hint->isVisible());
        QVERIFY(!hint->text().isEmpty());
        // Good input goes on as usual and takes the hint away.
        TypeText(edit, "1");
        QCOMPARE(edit->text(), before + "1");
        QVERIFY(!hint->isVisible());
    }

    void deleteInEmptyListStillAsks()
    {
        Setup s;
        s.clickAttribute(field::Stop);
        QCOMPARE(s.listed(), QStringList());
        s.prompts.answers.enqueue(Prompts::Yes);
        s.pressDelete();
        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.prompts.messages[0].text, "Вы дейсвительно хотите удалить одно из значений аттрибута?");
        QCOMPARE(s.prompts.messages[0].title, "?");
        QCOMPARE(s.prompts.messages[0].buttons, Prompts::Yes | Prompts::No | Prompts::DefaultNo);
        QCOMPARE(s.table(field::Stop).Count(), 0);
        QCOMPARE(s.table(field::HouseType).Count(), 3);
        QCOMPARE(s.table(field::District).Count(), 2);
    }

    void deleteRemovesTheSelectedValueFromBothTables()
    {
        Setup s;
        s.clickAttribute(field::HouseType);
        s.clickValue(1);
        // No keeps everything; the modifiers do not matter to the Delete key.
        s.prompts.answers.enqueue(Prompts::No);
        QTest::keyClick(s.values, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.table(field::HouseType).Count(), 3);

        s.prompts.answers.enqueue(Prompts::Yes);
        QTest::keyClick(s.values, Qt::Key_Delete, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(s.table(field::HouseType).Values(), (QStringList{"кирпичный", "блочный"}));
        QCOMPARE(s.table(field::HouseType).Scores(), (QStringList{"80", "60"}));
        QCOMPARE(s.listed(), s.table(field::HouseType).Values());
        // The entry that moved up is selected and shown.
        QCOMPARE(s.selectedValue(), 1);
        QCOMPARE(s.frame2->title(), "Параметры значения атрибута: блочный");
        QCOMPARE(s.score->text(), "60");

        // Deleting the last entry selects the new last one.
        s.prompts.answers.enqueue(Prompts::Yes);
        s.pressDelete();
        QCOMPARE(s.listed(), QStringList{"кирпичный"});
        QCOMPARE(s.selectedValue(), 0);
        QCOMPARE(s.score->text(), "80");

        // Deleting the only value leaves an empty list and the value frame off.
        s.prompts.answers.enqueue(Prompts::Yes);
        s.pressDelete();
        QCOMPARE(s.table(field::HouseType).Count(), 0);
        QCOMPARE(s.listed(), QStringList());
        QTRY_VERIFY(!s.frame2->isEnabled());
        QCOMPARE(s.prompts.messages.size(), 4);
    }

    void addListsAndSelectsTheValueAsTyped()
    {
        Setup s;
        s.clickAttribute(field::Stop); // no values yet
        s.prompts.inputs.enqueue(QString("  кирпич  "));
        QTest::mouseClick(s.add, Qt::LeftButton);
        QCOMPARE(s.prompts.inputPrompts, QStringList{"Новое значение атрибута: Введите значение"});
        QCOMPARE(s.table(field::Stop).Values(), QStringList{"  кирпич  "});
        QCOMPARE(s.table(field::Stop).Scores(), QStringList{"0"});
        QCOMPARE(s.listed(), s.table(field::Stop).Values());
        QCOMPARE(s.selectedValue(), 0);
        QVERIFY(s.frame2->isEnabled());
        QCOMPARE(s.frame2->title(), "Параметры значения атрибута:   кирпич  ");
        QCOMPARE(s.score->text(), "0");

        s.prompts.inputs.enqueue(QString("  кирпич  "));
        QTest::mouseClick(s.add, Qt::LeftButton);
        QCOMPARE(s.table(field::Stop).Values(), (QStringList{"  кирпич  ", "  кирпич  "}));
        QCOMPARE(s.table(field::Stop).Scores(), (QStringList{"0", "0"}));
        QCOMPARE(s.selectedValue(), 1);
        // The value frame stays on through the enabling check.
        s.waitForCheck();
        QVERIFY(s.frame2->isEnabled());

        // Cancel, an empty answer and a text the file cannot hold add nothing.
        s.prompts.inputs.enqueue(std::nullopt);
        s.prompts.inputs.enqueue(QString());
        s.prompts.inputs.enqueue(QString("а|б"));
        s.prompts.inputs.enqueue(QString("а\nб"));
        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(s.add, Qt::LeftButton);
        QCOMPARE(s.table(field::Stop).Count(), 2);
        QCOMPARE(s.listed().size(), 2);
        QCOMPARE(s.prompts.messages.size(), 2);
        QVERIFY(s.prompts.messages[0].text.contains("«|»"));
    }

    void formalizedValueBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("messages");
        QTest::newRow("50") << "50"
                            << "50"
                            << "50" << 0;
        QTest::newRow("50 with spaces around") << " 50 "
                                               << " 50 "
                                               << " 50 " << 0;
        QTest::newRow("101") << "101"
                             << "101"
                             << "40" << 1;
        QTest::newRow("-1") << "-1"
                            << "-1"
                            << "40" << 1;
        QTest::newRow("leading zero") << "050"
                                      << "0"
                                      << "0" << 1;
        QTest::newRow("plus sign") << "+5"
                                   << "0"
                                   << "0" << 1;
        QTest::newRow("decimal point") << "5.0"
                                       << "0"
                                       << "0" << 1;
        QTest::newRow("exponent") << "1e1"
                                  << "0"
                                  << "0" << 1;
        QTest::newRow("letters") << "много"
                                 << "0"
                                 << "0" << 1;
        QTest::newRow("emptied box") << ""
                                     << "0"
                                     << "0" << 1;
        QTest::newRow("beyond 32 bits") << "99999999999"
                                        << "99999999999"
                                        << "40" << 1;
    }
    void formalizedValueBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, box);
        QFETCH(QString, stored);
        QFETCH(int, messages);
        Setup s;
        s.clickAttribute(field::HouseType);
        s.clickValue(1);
        QCOMPARE(s.score->text(), "40");
        QStringList storedAtMessage;
        s.prompts.onMessage = [&](const ScriptedPrompts::Shown&) {
            storedAtMessage << s.table(field::HouseType).Score(2);
        };
        s.score->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(s.score, Qt::Key_Delete);
        else
            s.score->insert(typed); // as a paste: one change of the text
        QCOMPARE(s.score->text(), box);
        QCOMPARE(s.table(field::HouseType).Scores(), (QStringList{"80", stored, "60"}));
        QCOMPARE(s.prompts.messages.size(), messages);
        for (const auto& m : s.prompts.messages) {
            QCOMPARE(m.text, kValueMessage);
            QCOMPARE(m.title, "Vestrana");
            QCOMPARE(m.buttons, int(Prompts::Ok));
        }
        // The "0" is stored before the message shows.
        if (messages) QCOMPARE(storedAtMessage, QStringList{stored});
        // A text left on screen that is not what is stored is marked so, naming what is.
        const auto* mark = s.form->findChild<QLabel*>("LabelValue");
        QCOMPARE(mark->isVisible(), box != stored);
        if (box != stored) QVERIFY(mark->text().endsWith("Сохранено: " + stored));
    }

    // Typed key by key, "150" is refused at its last key: the box keeps it,
    // marked, beside "15" as stored; mending it or moving away clears the mark.
    void refusedValueStaysMarkedUntilMended()
    {
        Setup s;
        s.clickAttribute(field::HouseType);
        s.clickValue(1);
        const auto* mark = s.form->findChild<QLabel*>("LabelValue");
        s.score->selectAll();
        TypeText(s.score, "150");
        QCOMPARE(s.prompts.texts(), QStringList{kValueMessage});
        QCOMPARE(s.score->text(), "150");
        QCOMPARE(s.table(field::HouseType).Score(2), "15");
        QVERIFY(mark->isVisible());
        QCOMPARE(mark->text(), "Не сохранено: нужно целое число от 0 до 100. Сохранено: 15");
        QTest::keyClick(s.score, Qt::Key_Backspace);
        QCOMPARE(s.table(field::HouseType).Score(2), "15");
        QVERIFY(!mark->isVisible());

        TypeText(s.score, "0");
        QVERIFY(mark->isVisible());
        // Another value and back: the box shows what is stored, unmarked.
        s.clickValue(0);
        QVERIFY(!mark->isVisible());
        s.clickValue(1);
        QCOMPARE(s.score->text(), "15");
        QVERIFY(!mark->isVisible());
        QCOMPARE(s.prompts.messages.size(), 2);
    }

    void showingAStoredValueNeverChangesIt()
    {
        Setup s;
        s.program.Knowledge.AttributeValueLists[field::HouseType].SetScore(2, "7.5");
        s.program.Knowledge.AttributeValueLists[field::HouseType].SetScore(3, "150");
        s.clickAttribute(field::HouseType);
        s.clickValue(1);
        QCOMPARE(s.prompts.texts(), QStringList{kValueMessage});
        QCOMPARE(s.score->text(), "7.5");
        // Refreshes that leave the box as it is do not warn again.
        TypeText(s.comment, "!");
        QCOMPARE(s.prompts.messages.size(), 1);
        s.clickValue(2);
        QCOMPARE(s.score->text(), "150");
        QCOMPARE(s.prompts.messages.size(), 2);
        QCOMPARE(s.table(field::HouseType).Scores(), (QStringList{"80", "7.5", "150"}));
        // Typing is what stores.
        s.score->selectAll();
        TypeText(s.score, "9");
        QCOMPARE(s.table(field::HouseType).Scores(), (QStringList{"80", "7.5", "9"}));
    }

    void formulaCheckShowsTheListingAndTheValue_data()
    {
        QTest::addColumn<field::Field>("attribute");
        QTest::addColumn<QString>("formula");
        QTest::newRow("plain sum, also with the formula box off") << field::District << "1+2+3";
        QTest::newRow("formula naming attributes") << field::Price << "Цена/Общая площадь";
    }
    void formulaCheckShowsTheListingAndTheValue()
    {
        QFETCH(field::Field, attribute);
        QFETCH(QString, formula);
        Setup s;
        s.program.Knowledge.AttributeFormulas[attribute] = formula;
        s.clickAttribute(attribute);
        QCOMPARE(s.formula->text(), formula);
        QTest::mouseClick(s.check, Qt::LeftButton);
        QCOMPARE(s.prompts.messages.size(), 1);
        const auto& m = s.prompts.messages[0];
        QCOMPARE(m.title, "Отладка формулы");
        QCOMPARE(m.buttons, int(Prompts::Ok));
        QVERIFY(!m.text.contains(QChar(10)));
        const QStringList lines = m.text.split(QChar(13));
        // A line per attribute between the heading and the rule.
        QCOMPARE(lines.size(), field::Attributes + 3);
        QCOMPARE(lines[0], "Атрибуты:");
        QCOMPARE(lines[field::Attributes + 1], "------------");
        // Find the listing picked by its address, then every line must be its field.
        const QString address = lines[field::Index(field::Address) + 1].section(": ", 1);
        RecordPtr picked;
        for (const RecordPtr& r : s.program.Records.Items)
            if (r->GetRecord(field::Address) == address) picked = r;
        QVERIFY(picked);
        for (field::Field k : field::AttributeFields)
            QCOMPARE(lines[field::Index(k) + 1],
                     s.program.Knowledge.AttributeNames[k] + ": " + picked->GetRecord(k));
        const double expected =
            attribute == field::District
                ? 6.0
                : picked->GetRecord(field::Price).toDouble() / picked->GetRecord(field::TotalArea).toDouble();
        QCOMPARE(lines.last(), "Значение функции = " + text::NumberText(expected));
        if (attribute == field::District) QCOMPARE(lines.last(), "Значение функции =  6");
        // Checking stores nothing.
        QCOMPARE(s.program.Knowledge.AttributeFormulas[attribute], formula);
    }

    void formulaCheckErrors_data()
    {
        QTest::addColumn<bool>("listings");
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("message");
        QTest::newRow("syntax error") << true << "1+"
                                      << "Ошибка формулы, проверте синтаксис формулы\n"
                                         "Синтаксическая ошибка в конце формулы: ожидалось число или имя";
        QTest::newRow("division by zero") << true << "Цена/0"
                                          << "Ошибка формулы, проверте синтаксис формулы\nДеление на ноль";
        QTest::newRow("empty database") << false << "1+2+3"
                                        << "В базе данных нет ни одной записи: формулу не на чем проверить.";
    }
    void formulaCheckErrors()
    {
        QFETCH(bool, listings);
        QFETCH(QString, formula);
        QFETCH(QString, message);
        Setup s(listings);
        s.clickAttribute(field::Price);
        s.formula->selectAll();
        s.formula->insert(formula);
        QTest::mouseClick(s.check, Qt::LeftButton);
        QCOMPARE(s.prompts.texts(), QStringList{message});
        QCOMPARE(s.prompts.messages[0].title, "Vestrana");
    }

    // Checked as typed, without a listing: the reason and its place show beside
    // the box while it is stored key by key; a kind without a formula shows none.
    void formulaIsCheckedAsTyped()
    {
        Setup s(false);
        const auto* problem = s.form->findChild<QLabel*>("LabelFormula");
        s.clickAttribute(field::Price);
        QVERIFY(!problem->isVisible());
        s.formula->end(false);
        TypeText(s.formula, " * ");
        QCOMPARE(s.program.Knowledge.AttributeFormulas[field::Price], "Цена/Общая площадь * ");
        QVERIFY(problem->isVisible());
        QCOMPARE(problem->text(), "Синтаксическая ошибка в конце формулы: ожидалось число или имя");
        TypeText(s.formula, "Этж");
        QCOMPARE(problem->text(),
                 "Ошибка в позиции 22: неизвестное имя «Этж». Возможно, имелось в виду «Этаж»?");
        QTest::keyClick(s.formula, Qt::Key_Left);
        TypeText(s.formula, "а");
        QVERIFY(!problem->isVisible());
        s.program.Knowledge.AttributeFormulas[field::HouseType] = "(((";
        s.clickAttribute(field::HouseType);
        QVERIFY(!problem->isVisible());
        QVERIFY(s.prompts.messages.isEmpty());
    }

    // Closing while a formula attribute's formula does not read asks, "Нет"
    // first; "Нет" keeps the window open on that attribute, "Да" closes.
    void closingWithABrokenFormulaAsks_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Escape, no") << true << int(Prompts::No) << false;
        QTest::newRow("Escape, yes") << true << int(Prompts::Yes) << true;
        QTest::newRow("window closed, no") << false << int(Prompts::No) << false;
    }
    void closingWithABrokenFormulaAsks()
    {
        QFETCH(bool, escape);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        Setup s;
        s.clickAttribute(field::Price);
        s.formula->end(false);
        TypeText(s.formula, "+");
        s.clickAttribute(field::HouseType);
        s.prompts.answers.enqueue(Prompts::Button(answer));
        if (escape)
            QTest::keyClick(s.form.get(), Qt::Key_Escape);
        else
            s.form->close();
        QCOMPARE(s.prompts.messages.size(), 1);
        const auto& m = s.prompts.messages[0];
        QVERIFY2(m.text.startsWith("Формула атрибута «Цена» не читается:\n"
                                   "Синтаксическая ошибка в конце формулы: ожидалось число или имя"),
                 qPrintable(m.text));
        QCOMPARE(m.buttons, int(Prompts::Yes | Prompts::No | Prompts::DefaultNo));
        QCOMPARE(s.form->isVisible(), !closed);
        QCOMPARE(s.program.Knowledge.AttributeFormulas[field::Price], "Цена/Общая площадь+");
        if (!closed) QCOMPARE(s.list->currentRow(), 5);
    }

    void closingWithReadableFormulasAsksNothing()
    {
        Setup s;
        // Not a formula kind: its formula is never used.
        s.program.Knowledge.AttributeFormulas[field::HouseType] = "(((";
        QTest::keyClick(s.form.get(), Qt::Key_Escape);
        QVERIFY(!s.form->isVisible());
        QVERIFY(s.prompts.messages.isEmpty());
    }

    void samePicksInEveryRun()
    {
        QList<QStringList> runs;
        for (int run = 0; run < 2; ++run) {
            Setup s(false);
            for (int i = 1; i <= 20; ++i)
                AddListing(s.program, {"Центр", "1", "1", "", QString("ул. Мира, %1").arg(i)});
            s.formula->setText("1+2+3");
            QStringList picked;
            for (int i = 0; i < 8; ++i)
                QTest::mouseClick(s.check, Qt::LeftButton);
            for (const auto& m : s.prompts.messages) {
                const QStringList lines = m.text.split(QChar(13));
                QCOMPARE(lines.size(), 20);
                picked << lines[5];
            }
            runs << picked;
        }
        QCOMPARE(runs[0].size(), 8);
        QCOMPARE(runs[1], runs[0]);
        QVERIFY(QSet<QString>(runs[0].begin(), runs[0].end()).size() > 1);
    }

    void busyRunFreezesEditing()
    {
        Setup s;
        s.clickAttribute(field::HouseType);
        {
            Program::BusyScope busy(s.program);
            QTRY_VERIFY(!s.frame1->isEnabled());
            QVERIFY(!s.frame2->isEnabled());
            QVERIFY(!s.add->isEnabled());
            s.pressDelete();
            QVERIFY(s.prompts.messages.isEmpty());
            QCOMPARE(s.table(field::HouseType).Count(), 3);
        }
        QTRY_VERIFY(s.frame1->isEnabled() && s.add->isEnabled());
    }
};

QTEST_MAIN(TestGuiExpertForm)
#include "tst_gui_expertform.moc"
