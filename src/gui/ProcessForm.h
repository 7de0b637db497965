// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QDialog>

class Program;
class QLabel;
class QProgressBar;
class QPushButton;

// The small modeless progress window of the re-index. It does no work itself:
// it shows what the run reports and turns the user's cancel into
// ProcessState ProcessCancelled, which the run reads at its next listing.
class ProcessForm : public QDialog
{
    Q_OBJECT
public:
    // Loading the window sets ProcessState to ProcessOpen.
    explicit ProcessForm(Program& program, QWidget* parent = nullptr);
    ~ProcessForm() override;

    QLabel* Comment = nullptr;
    QProgressBar* Progress = nullptr;
    QPushButton* Command1 = nullptr;

    // Sets the bar; values beyond the bar's int range are scaled down.
    void SetProgress(qint64 maximum, qint64 value);
    // The owner's close at the end of the run (the only close that is not a cancel).
    void Finish();

public Q_SLOTS:
    // Escape: a cancel request like the button.
    void reject() override;

protected:
    // Closing by the frame asks for the cancel; the window stays until the run ends.
    void closeEvent(QCloseEvent* e) override;

private:
    void requestCancel();

    Program& m_program;
    bool m_finished = false;
};

// Runs the re-index under a fresh progress window shown beside `parent`,
// letting events run as it goes, and closes the window at the end. Returns
// false when the user cancelled.
[[nodiscard]] bool RunReindex(Program& program, QWidget* parent = nullptr);
