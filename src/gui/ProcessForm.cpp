// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ProcessForm.h"

#include "editing/Reindex.h"
#include "gui/AsideWork.h"
#include "gui/GuiResources.h"
#include "program/Program.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <QWindow>

#include <limits>

ProcessForm::ProcessForm(Program& program, QWidget* parent) : QDialog(parent), m_program(program)
{
    setObjectName(QStringLiteral("ProcessForm"));
    setWindowTitle(QString());
    setModal(false);
    ApplyWindowFont(this);

    // 8235 × 1875 twips: a bar across the window and the button centred below.
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(24, 24, 24, 12);
    root->setSpacing(8);
    Comment = new QLabel(QStringLiteral("Пожалуйста подождите..."), this);
    Comment->setObjectName(QStringLiteral("Comment"));
    root->addWidget(Comment);
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Progress->setFixedHeight(25);
    root->addWidget(Progress);
    auto* buttons = new QHBoxLayout;
    Command1 = new QPushButton(QStringLiteral("&Отмена"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFixedSize(97, 25);
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addStretch();
    root->addLayout(buttons);
    setFixedSize(549, 125);

    connect(Command1, &QPushButton::clicked, this, &ProcessForm::requestCancel);
    // The other windows stay usable during the run, but the dialog stays in
    // sight: otherwise a click on the main window hides it, and the editor's
    // grey buttons would have no visible reason.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focused) {
        if (isVisible() && !m_finished && focused && focused != windowHandle()) raise();
    });
    m_program.ProcessState = Program::ProcessOpen;
}

ProcessForm::~ProcessForm() = default;

void ProcessForm::SetProgress(qint64 maximum, qint64 value)
{
    constexpr qint64 limit = std::numeric_limits<int>::max();
    qint64 divisor = 1;
    while (maximum / divisor > limit)
        divisor *= 2;
    Progress->setMaximum(static_cast<int>(maximum / divisor));
    Progress->setValue(static_cast<int>(qBound<qint64>(0, value / divisor, maximum / divisor)));
}

void ProcessForm::Finish()
{
    m_finished = true;
    close();
}

void ProcessForm::requestCancel()
{
    m_program.ProcessState = Program::ProcessCancelled;
}

void ProcessForm::reject()
{
    if (m_finished)
        QDialog::reject();
    else
        requestCancel();
}

void ProcessForm::closeEvent(QCloseEvent* e)
{
    if (m_finished) {
        e->accept();
        return;
    }
    requestCancel();
    e->ignore();
}

bool RunReindex(Program& program, QWidget* parent)
{
    // Held by a guarded pointer: if the parent goes away during the run, the
    // window goes with it and the run simply stops drawing.
    QPointer<ProcessForm> form = new ProcessForm(program, parent);
    const auto closeForm = qScopeGuard([&form] {
        if (form) {
            form->Finish();
            delete form.data();
        }
    });
    RunContext run;
    run.progress = [&form](const QString& text) {
        if (form) form->Comment->setText(text);
    };
    run.steps = [&form](qint64 maximum, qint64 value) {
        if (form) form->SetProgress(maximum, value);
    };
    // The cancel arrives as ProcessState, which the re-index reads itself.
    run.UseEventLoop();
    // Painted before the run starts, which lets events run only every few milliseconds.
    ShowAtOnce(form);
    return Normalize(program, run);
}
