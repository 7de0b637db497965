// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "html/PageLoader.h"
#include "import/ImportRun.h"

#include <QDialog>
#include <QString>

class Program;
class Prompts;
class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

// The import window. The user starts and stops a run over the listing site
// here and follows it in the log; the run itself lives in the core (SyncStart
// in ImportRun.h) and this window only shows what it reports.
//
// Timer1 is never started: its interval is the run flag, 1000 while a run is
// going and 0 otherwise. When a run ends, however it ends, the window is idle
// again: "&Запуск" and "Отмена" enabled, and the log says how the run ended.
class SyncForm : public QDialog
{
    Q_OBJECT
public:
    // Empty `site` means the program's site (ListingSiteAddress()).
    SyncForm(Program& program, Prompts& prompts, QWidget* parent = nullptr, const QString& site = QString());
    ~SyncForm() override;

    QPushButton* Command1 = nullptr; // start and stop
    QPushButton* Command2 = nullptr; // "Отмена": closes the window, only while no run is going
    QListWidget* List = nullptr;     // the log
    QProgressBar* ProgressBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;  // keeps Command2's enabled state, every 100 ms
    QLabel* Label15 = nullptr; // heading with the site address
    QLabel* Picture1 = nullptr;
    QLabel* Label1 = nullptr;
    // "Обновлять уже имеющиеся объявления": a flat the database holds is
    // updated instead of appended again. On by default; off appends every
    // listing. Read when a run starts, so it is locked while one goes on.
    QCheckBox* Check1 = nullptr;

    // Time limit of each page of a run.
    int PageTimeoutMs = PageLoader::kDefaultTimeoutMs;
    // How a run presses the site and when it gives up (the polite defaults;
    // a test against a site on this machine lifts the rate limit). Whether
    // listings already held are updated comes from Check1.
    ImportOptions RunOptions;

    // Whether SyncStart is going on (the window stays open until it returns).
    bool Running() const { return m_running; }
    // Whether a run of this window added or updated listings: they may hold
    // values the knowledge base does not.
    bool TookListings() const { return m_tookListings; }

    // Carries out one run and returns when it ends. Only Command1 calls it.
    void SyncStart();

public Q_SLOTS:
    // Closing while a run is going stops the run first; the window closes
    // once the run has ended, so the run never works on a closed window.
    void reject() override;

private:
    void onCommand1();
    void requestStop();
    void setProgress(qint64 maximum, qint64 value);

    Program& m_program;
    Prompts& m_prompts;
    QString m_site;
    bool m_running = false;
    bool m_closePending = false;
    bool m_tookListings = false;
    bool m_clearFirst = false; // the user asked to empty the database for this run
};

// Opens a new import window, modal, and returns when it is closed: true when
// a run added or updated listings (TookListings).
bool OpenSyncForm(Program& program, Prompts& prompts, QWidget* parent);
