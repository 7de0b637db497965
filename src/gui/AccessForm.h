// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QDialog>

class Program;
class Prompts;
class QLineEdit;
class QRadioButton;

// The access dialog between the main window and the two editors: with an
// empty login and password it opens the chosen editor, anything else is refused.
class AccessForm : public QDialog
{
    Q_OBJECT
public:
    AccessForm(Program& program, Prompts& prompts, QWidget* parent = nullptr);

private:
    void enter();

    Program& m_program;
    Prompts& m_prompts;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QLineEdit* Text1;
    QLineEdit* Text2;
};
