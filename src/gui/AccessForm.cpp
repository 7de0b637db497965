// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/AccessForm.h"

#include "gui/EditorForm.h"
#include "gui/ExpertForm.h"
#include "gui/GuiResources.h"
#include "gui/SlotGuard.h"
#include "platform/Prompts.h"
#include "program/Program.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

AccessForm::AccessForm(Program& program, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_program(program), m_prompts(prompts)
{
    setObjectName(QStringLiteral("AccessForm"));
    setWindowTitle(QStringLiteral("Доступ"));
    ApplyWindowFont(this);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(
        QPixmap(QStringLiteral(":/img/house.png")).scaledToWidth(120, Qt::SmoothTransformation));

    Option1 = new QRadioButton(QStringLiteral("Редактирование базы данных"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setChecked(true);
    Option2 = new QRadioButton(QStringLiteral("Редактирование базы знаний"), this);
    Option2->setObjectName(QStringLiteral("Option2"));

    auto* label1 = new QLabel(QStringLiteral("Логин"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    auto* label2 = new QLabel(QStringLiteral("Пароль"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setEchoMode(QLineEdit::Password);
    Text2->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // "*"
    label1->setBuddy(Text1);
    label2->setBuddy(Text2);

    auto* enterButton = new QPushButton(QStringLiteral("&Вход"), this);
    enterButton->setObjectName(QStringLiteral("Command1"));
    enterButton->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Отмена"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    connect(enterButton, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &AccessForm::enter));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(label1, 0, 0);
    fields->addWidget(Text1, 0, 1);
    fields->addWidget(label2, 1, 0);
    fields->addWidget(Text2, 1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(Option1);
    right->addWidget(Option2);
    right->addSpacing(8);
    right->addLayout(fields);
    right->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(enterButton);
    buttons->addWidget(cancel);
    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addLayout(buttons);
    // The user types here first; Tab still reaches the choice above.
    Text1->setFocus();
}

void AccessForm::enter()
{
    // Only an empty login and an empty password let the user in; a single
    // space is not empty.
    if (!Text1->text().isEmpty() || !Text2->text().isEmpty()) {
        m_prompts.Message(QStringLiteral("Доступ запрещён"), QStringLiteral("Ошибка учётной записи"),
                          Prompts::Ok);
        reject();
        return;
    }
    if (Option1->isChecked()) {
        auto* editor = new EditorForm(m_program, m_prompts);
        editor->setAttribute(Qt::WA_DeleteOnClose);
        editor->RefreshData();
        // The dialog closes before the modeless editor is shown.
        accept();
        editor->show();
        return;
    }
    accept();
    if (m_program.Busy()) {
        // The knowledge base must stay as it is while a search or re-index reads it.
        m_prompts.Message(
            QStringLiteral("Сейчас идёт поиск или индексирование. Редактор базы знаний можно открыть после "
                           "его окончания."),
            AppTitle(), Prompts::Ok, Prompts::Icon::Information);
        return;
    }
    ExpertForm expert(m_program, m_prompts, parentWidget());
    expert.exec();
}
