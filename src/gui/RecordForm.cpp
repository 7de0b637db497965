// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/RecordForm.h"

#include "gui/GuiResources.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "store/Fields.h"

#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include <optional>

namespace {

// The fields the search reads as numbers.
constexpr field::Field kNumberFields[] = {
    field::Rooms,     field::Floor,      field::Storeys,     field::Price,
    field::TotalArea, field::LivingArea, field::KitchenArea, field::StopDistance,
};

} // namespace

RecordForm::RecordForm(Program& program, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_program(program), m_prompts(prompts)
{
    InitGuiResources();
    setObjectName(QStringLiteral("RecordForm"));
    setWindowTitle(QStringLiteral("Редактирование записи"));
    ApplyWindowFont(this);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    // Labels, boxes 2295 twips wide, the picture in the top right corner
    // beside the first rows, the description box reaching under the picture.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(Twips(105));
    grid->setVerticalSpacing(Twips(105));
    grid->setColumnMinimumWidth(0, Twips(2400));
    grid->setColumnStretch(2, 1);
    grid->setRowMinimumHeight(0, Twips(480) - grid->verticalSpacing());

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(QPixmap(QStringLiteral(":/img/house.png")));
    picture->setScaledContents(true);
    picture->setFixedSize(Twips(2175), Twips(1935));
    grid->addWidget(picture, 0, 3, 5, 1, Qt::AlignTop | Qt::AlignRight);

    int gridRow = 1;
    for (const fieldinfo::RecordRow& r : fieldinfo::RecordRows) {
        auto* label = new QLabel(QString::fromUtf16(r.caption), this);
        label->setObjectName(QStringLiteral("Label%1").arg(r.label));
        QWidget* box = nullptr;
        if (r.combo) {
            auto* combo = new QComboBox(this);
            combo->setObjectName(QStringLiteral("Combo%1").arg(r.combo));
            combo->setEditable(true);
            // Enter must not add the typed text to the list.
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setFixedWidth(Twips(2295));
            // The attribute's accepted values, in a plain list model: one may hold
            // every address. Nothing completes what is typed.
            auto* view = new QListView(combo);
            view->setUniformItemSizes(true);
            combo->setView(view);
            combo->setModel(new QStringListModel(
                text::SortedChoices(m_program.Knowledge.AttributeValueLists[r.field].Values()), combo));
            combo->setCompleter(nullptr);
            combo->setCurrentIndex(-1);
            box = combo;
        } else {
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QStringLiteral("Text%1").arg(r.text));
            edit->setFixedWidth(Twips(r.field == field::Description ? 5295 : 2295));
            box = edit;
        }
        label->setBuddy(box);
        m_boxes[r.field] = box;
        m_captions[r.field] = label->text();
        if (r.field == field::Description) {
            // The description stands a little apart from the rows above it.
            grid->setRowMinimumHeight(gridRow, Twips(120));
            ++gridRow;
            grid->addWidget(label, gridRow, 0);
            grid->addWidget(box, gridRow, 1, 1, 3, Qt::AlignLeft);
        } else {
            grid->addWidget(label, gridRow, 0);
            grid->addWidget(box, gridRow, 1);
        }
        ++gridRow;
    }

    Command1 = new QPushButton(QStringLiteral("&OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("&Отмена"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    for (QPushButton* b : {Command1, Command2})
        b->setFixedSize(Twips(1455), Twips(495));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addSpacing(Twips(7320 - 5760 - 1455));
    buttons->addWidget(Command2);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(Twips(120), Twips(240) - 4, Twips(270), Twips(180));
    root->addLayout(grid);
    root->addSpacing(Twips(400));
    root->addLayout(buttons);
    root->addStretch();

    connect(Command1, &QPushButton::clicked, this, &RecordForm::onOk);
    connect(Command2, &QPushButton::clicked, this, &RecordForm::reject);
}

RecordForm::~RecordForm() = default;

QWidget* RecordForm::Box(field::Field f) const
{
    return field::IsAttribute(f) ? m_boxes[f] : nullptr;
}

QString RecordForm::BoxText(field::Field f) const
{
    QWidget* box = Box(f);
    if (auto* combo = qobject_cast<QComboBox*>(box)) return combo->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(box)) return edit->text();
    return QString();
}

void RecordForm::setBoxText(field::Field f, const QString& text)
{
    QWidget* box = Box(f);
    QLineEdit* edit = qobject_cast<QLineEdit*>(box);
    if (auto* combo = qobject_cast<QComboBox*>(box)) {
        combo->setEditText(text);
        edit = combo->lineEdit();
    } else if (edit) {
        edit->setText(text);
    }
    // A long text shows its start, not its end.
    if (edit) edit->setCursorPosition(0);
}

void RecordForm::Restore()
{
    for (const fieldinfo::RecordRow& r : fieldinfo::RecordRows)
        setBoxText(r.field, Record->GetRecord(r.field));
}

void RecordForm::Store()
{
    for (const fieldinfo::RecordRow& r : fieldinfo::RecordRows)
        Record->SetRecord(r.field, BoxText(r.field));
}

void RecordForm::onOk()
{
    // A "|" or a line break would split the listing's line in the database
    // file, so such a text is refused before anything is stored; the topmost
    // such box is named.
    for (const fieldinfo::RecordRow& r : fieldinfo::RecordRows) {
        if (text::IsFileSafe(BoxText(r.field))) continue;
        QPointer<RecordForm> self(this);
        m_prompts.Message(
            QStringLiteral(
                "Поле «%1» содержит знак «|» или перевод строки, а их база данных хранить не может. "
                "Исправьте текст; запись пока не изменена.")
                .arg(m_captions[r.field]),
            AppTitle(), Prompts::Ok, Prompts::Icon::Warning);
        if (self) Box(r.field)->setFocus();
        return;
    }
    if (!confirmUnreadable()) return;
    Store();
    m_program.DialogResult = 1;
    accept();
}

bool RecordForm::confirmUnreadable()
{
    // Only what was changed here: a listing as it came is not questioned.
    QStringList lines;
    std::optional<field::Field> first;
    const auto changed = [this](field::Field f) {
        const QString text = BoxText(f);
        return !text::TrimmedView(text).isEmpty() && text != Record->Field(f);
    };
    for (field::Field f : kNumberFields) {
        const QString text = BoxText(f);
        if (!changed(f) || text::IsNumber(text)) continue;
        if (!first) first = f;
        lines << QStringLiteral("«%1»: «%2» — не число, поиск прочтёт его как %3")
                     .arg(m_captions[f], text, text::GeneralNumber(text::Val(text)));
    }
    const QString date = BoxText(field::Date);
    if (changed(field::Date) &&
        !QDate::fromString(text::Trimmed(date), QStringLiteral("dd.MM.yyyy")).isValid()) {
        if (!first) first = field::Date;
        lines << QStringLiteral("«%1»: «%2» — не дата вида дд.мм.гггг, поиск сравнит её как текст")
                     .arg(m_captions[field::Date], date);
    }
    if (lines.isEmpty()) return true;
    QPointer<RecordForm> self(this);
    const auto answer =
        m_prompts.Message(lines.join(u'\n') + QStringLiteral("\n\nСохранить запись так?"), AppTitle(),
                          Prompts::Yes | Prompts::No | Prompts::DefaultNo, Prompts::Icon::Question);
    if (answer == Prompts::Yes) return true;
    if (self) Box(*first)->setFocus();
    return false;
}

void RecordForm::reject()
{
    m_program.DialogResult = 2;
    QDialog::reject();
}

void EditRecord(Program& program, Prompts& prompts, const RecordPtr& record, QWidget* parent)
{
    // On the heap behind a guard: should the parent go away while the dialog
    // is open, it takes the dialog with it and nothing is deleted twice.
    QPointer<RecordForm> form = new RecordForm(program, prompts, parent);
    form->Record = record;
    form->Restore();
    // Whatever ends the dialog other than OK leaves this value.
    program.DialogResult = 2;
    form->exec();
    delete form.data();
}
