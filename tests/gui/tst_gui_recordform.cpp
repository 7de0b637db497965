// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/RecordForm.h"
#include "knowledge/KnowledgeBase.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// Box name and the listing field it edits.
const std::pair<const char*, field::Field> kBoxes[] = {
    {"Text1", field::Date},           {"Combo1", field::District},    {"Combo2", field::Rooms},
    {"Combo3", field::Floor},         {"Combo12", field::Storeys},    {"Combo4", field::HouseType},
    {"Combo5", field::Address},       {"Combo10", field::Price},      {"Combo9", field::TotalArea},
    {"Combo8", field::LivingArea},    {"Combo7", field::KitchenArea}, {"Combo6", field::Stop},
    {"Combo11", field::StopDistance}, {"Combo15", field::Bathroom},   {"Combo14", field::Telephone},
    {"Combo13", field::Agency},       {"Text2", field::Description},
};

QString boxText(QWidget* form, const char* name)
{
    QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(name));
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return QStringLiteral("<no box %1>").arg(QString::fromLatin1(name));
}

void setBoxText(QWidget* form, const char* name, const QString& text)
{
    QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(name));
    if (auto* c = qobject_cast<QComboBox*>(w))
        c->setEditText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
}

// Runs `act` on the record dialog once it is up (the handler that opens it
// blocks until it closes). The poll ends with the returned timer.
[[nodiscard]] std::unique_ptr<QTimer> whenDialogShown(std::function<void(RecordForm*)> act)
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

enum class Ending { Ok, Cancel, CloseBox, Escape };

void end(RecordForm* form, Ending how)
{
    switch (how) {
    case Ending::Ok:
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        break;
    case Ending::Cancel:
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        break;
    case Ending::CloseBox:
        form->close();
        break;
    case Ending::Escape:
        QTest::keyClick(form, Qt::Key_Escape);
        break;
    }
}

// The text listingWithFieldNames puts in a field.
QString fieldName(field::Field f)
{
    return QStringLiteral("поле %1").arg(field::Index(f));
}

RecordPtr listingWithFieldNames()
{
    auto r = std::make_shared<Record>();
    for (field::Field k : field::AllFields)
        r->SetRecord(k, fieldName(k));
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Ending)

class TestRecordForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void endings_data()
    {
        QTest::addColumn<Ending>("how");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<int>("result");
        QTest::newRow("OK stores every box") << Ending::Ok << true << 1;
        QTest::newRow("Отмена stores nothing") << Ending::Cancel << false << 2;
        QTest::newRow("close box counts as cancel") << Ending::CloseBox << false << 2;
        QTest::newRow("Escape counts as cancel") << Ending::Escape << false << 2;
    }

    void endings()
    {
        QFETCH(Ending, how);
        QFETCH(bool, stored);
        QFETCH(int, result);
        ScriptedPrompts prompts;
        Program program(QDir::tempPath());
        program.DialogResult = 1; // left by an earlier dialog
        const RecordPtr record = listingWithFieldNames();

        QStringList shown;
        bool checked = false;
        const auto poll = whenDialogShown([&](RecordForm* form) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Редактирование записи"));
            QVERIFY(!form->findChild<QLabel*>(QStringLiteral("Picture1"))->pixmap().isNull());
            for (const auto& [name, field] : kBoxes) {
                shown << boxText(form, name);
                if (auto* combo = form->findChild<QComboBox*>(QString::fromLatin1(name))) {
                    QVERIFY(combo->isEditable());
                    QCOMPARE(combo->count(), 0);
                }
                setBoxText(form, name, QStringLiteral("  новое %1 ").arg(field::Index(field)));
            }
            checked = true;
            end(form, how);
        });
        EditRecord(program, prompts, record, nullptr);

        QVERIFY(checked);
        QVERIFY(!QApplication::activeModalWidget());
        for (int i = 0; i < int(std::size(kBoxes)); ++i)
            QCOMPARE(shown[i], fieldName(kBoxes[i].second));
        QCOMPARE(program.DialogResult, result);
        for (field::Field k : field::AttributeFields)
            QCOMPARE(record->GetRecord(k),
                     stored ? QStringLiteral("  новое %1 ").arg(field::Index(k)) : fieldName(k));
        QCOMPARE(record->GetRecord(field::Reserved), fieldName(field::Reserved));
    }

    // Long texts show their start: every box has its cursor at the beginning.
    void longTextsShowTheirStart()
    {
        ScriptedPrompts prompts;
        Program program(QDir::tempPath());
        const RecordPtr record = std::make_shared<Record>();
        for (field::Field k : field::AttributeFields)
            record->SetRecord(k, QStringLiteral("начало %1, ").arg(field::Index(k)).repeated(8));
        QList<int> cursors;
        const auto poll = whenDialogShown([&](RecordForm* form) {
            for (const auto& [name, field] : kBoxes) {
                QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(name));
                auto* edit = qobject_cast<QComboBox*>(w) ? qobject_cast<QComboBox*>(w)->lineEdit()
                                                         : qobject_cast<QLineEdit*>(w);
                cursors << edit->cursorPosition();
            }
            end(form, Ending::Cancel);
        });
        EditRecord(program, prompts, record, nullptr);
        QCOMPARE(cursors, QList<int>(field::Attributes, 0));
    }

    void okRefusesTextsTheFileCannotHold_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("bar in the address") << "Combo5"
                                            << "ул. Мира|5"
                                            << "«Адрес»";
        QTest::newRow("line feed in the description") << "Text2"
                                                      << "Ремонт\nторг"
                                                      << "«Описание»";
        QTest::newRow("carriage return in the date") << "Text1"
                                                     << "12.11\r"
                                                     << "«Дата»";
        QTest::newRow("bar in the storeys") << "Combo12"
                                            << "|"
                                            << "«Количество этажей»";
    }

    void okRefusesTextsTheFileCannotHold()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        ScriptedPrompts prompts;
        Program program(QDir::tempPath());
        const RecordPtr record = listingWithFieldNames();

        bool stillOpen = false;
        const auto poll = whenDialogShown([&](RecordForm* form) {
            setBoxText(form, "Combo1", QStringLiteral("Заречье"));
            setBoxText(form, box.toLatin1().constData(), text);
            end(form, Ending::Ok);
            stillOpen = form->isVisible();
            end(form, Ending::CloseBox);
        });
        EditRecord(program, prompts, record, nullptr);

        QVERIFY(stillOpen);
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(prompts.messages[0].text.contains(caption), qPrintable(prompts.messages[0].text));
        QCOMPARE(program.DialogResult, 2);
        QCOMPARE(record->GetRecord(field::District), fieldName(field::District));
    }

    // A changed number field without a number, or a date not in the form
    // dd.mm.yyyy, asks first ("Нет" first) and says how the search reads it.
    void okAsksAboutUnreadableValues_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("answer"); // 0: nothing is asked
        QTest::addColumn<QString>("says");
        QTest::newRow("rooms in words, no")
            << "Combo2"
            << "три" << int(Prompts::No) << "«Количество комнат»: «три» — не число, поиск прочтёт его как 0";
        QTest::newRow("price in words, yes")
            << "Combo10"
            << "дорого" << int(Prompts::Yes) << "«Цена (т.р)»: «дорого» — не число, поиск прочтёт его как 0";
        QTest::newRow("area with its unit")
            << "Combo9"
            << "60 м2" << int(Prompts::No) << "«Общая площадь»: «60 м2» — не число, поиск прочтёт его как 60";
        QTest::newRow("date in words")
            << "Text1"
            << "вчера" << int(Prompts::No)
            << "«Дата»: «вчера» — не дата вида дд.мм.гггг, поиск сравнит её как текст";
        QTest::newRow("no such day") << "Text1"
                                     << "31.02.2026" << int(Prompts::Yes) << "«Дата»: «31.02.2026»";
        QTest::newRow("number") << "Combo2"
                                << "3" << 0 << "";
        QTest::newRow("number with spaces around") << "Combo10"
                                                   << " 1500 " << 0 << "";
        QTest::newRow("date") << "Text1"
                              << "01.12.2026" << 0 << "";
        QTest::newRow("emptied") << "Combo3"
                                 << "" << 0 << "";
        QTest::newRow("text field") << "Combo1"
                                    << "где-то" << 0 << "";
    }
    void okAsksAboutUnreadableValues()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(int, answer);
        QFETCH(QString, says);
        ScriptedPrompts prompts;
        if (answer) prompts.answers.enqueue(Prompts::Button(answer));
        Program program(QDir::tempPath());
        // Fields as they came are not questioned, number fields or not.
        const RecordPtr record = listingWithFieldNames();

        bool stillOpen = false;
        // Names, not the widget: the dialog is gone once EditRecord returns.
        QString focusedName, focusedParentName;
        const auto poll = whenDialogShown([&](RecordForm* form) {
            setBoxText(form, box.toLatin1().constData(), text);
            end(form, Ending::Ok);
            stillOpen = form->isVisible();
            if (const QWidget* focused = form->focusWidget()) {
                focusedName = focused->objectName();
                if (focused->parentWidget()) focusedParentName = focused->parentWidget()->objectName();
            }
            if (stillOpen) end(form, Ending::Cancel);
        });
        EditRecord(program, prompts, record, nullptr);

        const bool stored = answer != int(Prompts::No);
        QCOMPARE(prompts.messages.size(), answer ? 1 : 0);
        if (answer) {
            const auto& m = prompts.messages[0];
            QVERIFY2(m.text.startsWith(says) && m.text.endsWith("\n\nСохранить запись так?"),
                     qPrintable(m.text));
            QCOMPARE(m.buttons, int(Prompts::Yes | Prompts::No | Prompts::DefaultNo));
        }
        QCOMPARE(stillOpen, !stored);
        if (!stored) {
            // Back in the box to mend it.
            QVERIFY(focusedName == box || focusedParentName == box);
        }
        QCOMPARE(program.DialogResult, stored ? 1 : 2);
    }

    // Each list offers the attribute's accepted values, sorted, with no empty
    // entry; the box still shows the listing's own text.
    void dropDownsOfferAcceptedValues()
    {
        ScriptedPrompts prompts;
        Program program(QDir::tempPath());
        KnowledgeBase& kb = program.Knowledge;
        for (const char* v : {"2", "1", "", "10", "3"})
            kb.AttributeValueLists[field::Rooms].Append(QString::fromUtf8(v), "50");
        for (const char* v : {"Центр", "авиагородок", "Ёлкино", "Заречье"})
            kb.AttributeValueLists[field::District].Append(QString::fromUtf8(v), "50");
        const RecordPtr record = listingWithFieldNames();
        const auto items = [](QComboBox* c) {
            QStringList out;
            for (int i = 0; i < c->count(); ++i)
                out << c->itemText(i);
            return out;
        };
        QStringList rooms, districts, shown;
        int storeys = -1;
        const auto poll = whenDialogShown([&](RecordForm* form) {
            rooms = items(form->findChild<QComboBox*>("Combo2"));
            districts = items(form->findChild<QComboBox*>("Combo1"));
            storeys = form->findChild<QComboBox*>("Combo12")->count();
            shown << boxText(form, "Combo1") << boxText(form, "Combo2");
            end(form, Ending::Cancel);
        });
        EditRecord(program, prompts, record, nullptr);
        QCOMPARE(rooms, (QStringList{"1", "2", "3", "10"}));
        QCOMPARE(districts, (QStringList{"авиагородок", "Ёлкино", "Заречье", "Центр"}));
        QCOMPARE(storeys, 0);
        QCOMPARE(shown, (QStringList{fieldName(field::District), fieldName(field::Rooms)}));
    }
};

QTEST_MAIN(TestRecordForm)
#include "tst_gui_recordform.moc"
