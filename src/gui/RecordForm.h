// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "store/Record.h"

#include <QDialog>

class Program;
class Prompts;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The dialog that edits the attribute fields of one listing in place.
// OK writes every box into the listing at once; any other way of closing
// writes nothing and counts as cancel.
class RecordForm : public QDialog
{
    Q_OBJECT
public:
    RecordForm(Program& program, Prompts& prompts, QWidget* parent = nullptr);
    ~RecordForm() override;

    // The listing being edited; set before Restore.
    RecordPtr Record;

    // Every box gets its listing field.
    void Restore();
    // Every field gets the text of its box, exactly as it stands.
    void Store();

    // The box of a field, or null for a field that is no attribute.
    QWidget* Box(field::Field f) const;
    // The text of a field's box.
    QString BoxText(field::Field f) const;

    QPushButton* Command1 = nullptr; // "&OK"
    QPushButton* Command2 = nullptr; // "&Отмена"

public Q_SLOTS:
    // Every close but OK: DialogResult 2.
    void reject() override;

private:
    void onOk();
    // Asks before a changed number field holds no number or the date no date;
    // true when the listing may be stored.
    [[nodiscard]] bool confirmUnreadable();
    void setBoxText(field::Field f, const QString& text);

    Program& m_program;
    Prompts& m_prompts;
    field::FieldArray<QWidget*, field::Attributes> m_boxes{};
    field::FieldArray<QString, field::Attributes> m_captions;
};

// Opens a new record dialog on `record`, modal, and returns when it has been
// closed; the caller reads program.DialogResult (1 after OK, 2 otherwise).
void EditRecord(Program& program, Prompts& prompts, const RecordPtr& record, QWidget* parent = nullptr);
