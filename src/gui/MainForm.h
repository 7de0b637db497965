// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QHash>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "search/SearchRun.h"

#include <array>
#include <functional>

class Program;
class Prompts;
class QComboBox;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class HelpWindow;
class ExplanationWindow;
class QTreeWidgetItem;

// A label that acts as a link: clicked, or reached with Tab and pressed with
// Enter or Space; it shows a focus frame while it has the focus.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

// The main window: start-up and shutdown of the whole program, the wish boxes,
// the search and the result list.
class MainForm : public QWidget
{
    Q_OBJECT
public:
    MainForm(Program& program, Prompts& prompts, QWidget* parent = nullptr);
    ~MainForm() override;

    // The start-up sequence: names, listings, knowledge base, the count label and
    // the wish boxes. Errors pass to the caller; after a failed start the window
    // never writes the data files. The files load on a helper thread while the
    // window, if shown, answers and says how far the load has come; a close
    // asked for meanwhile follows the load.
    void StartUp();

    Program& program() { return m_program; }

    // The wish box of attribute k (0..13 as the boxes give them), or null.
    QComboBox* WishBox(field::Field attribute) const;

    // Opens (or brings forward) the help window on its contents page.
    void ShowHelp();
    // Opens the access dialog, modal, anew on every call.
    void OpenAccess();

    // Whether a search is armed or running.
    bool SearchActive() const;
    // Whether a search run is going on.
    bool SearchRunning() const;
    // The wishes as the boxes hold them.
    SearchRun::Wishes ReadWishes() const;
    // The hints below the search button as plain text, one line per hint;
    // empty when none is shown.
    QString WishHintText() const;

    // Opens the explanation window of result row `row` (0-based) for the search
    // that filled the list, or brings forward the one already open for its listing.
    ExplanationWindow* OpenExplanation(int row);
    // Puts the selected result rows on the clipboard as tab-separated text.
    void CopySelectedRows();
    // Asks for a file name and writes all results there as CSV.
    void SaveResults();
    // Who asks for the file name of SaveResults, given a suggestion, and the
    // separator (";" given, "," the other choice); an empty answer cancels. A
    // file dialog, whose file types offer the two separators, unless a test sets another.
    void SetSaveFileChooser(std::function<QString(const QString&, QChar&)> chooser)
    {
        m_chooseSaveFile = std::move(chooser);
    }

    // "Записей в базе данных : N" with the listings there are now.
    void ShowRecordCount();
    // Fills the wish boxes' lists from the accepted values, keeping what the
    // user has typed in them.
    void FillWishBoxes();

Q_SIGNALS:
    // Emitted once the shutdown sequence has run and the window is closing.
    void shutDown();
    // Emitted when a search run has ended.
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildWindow();
    [[nodiscard]] bool saveWithRetry(bool database);
    // The start's and the shutdown's progress beside the search button.
    void showFileProgress(const QString& text, qint64 done, qint64 total);
    void hideFileProgress();
    void onSearchClicked();
    void onSearchTrigger();
    void refreshResults();
    void finishRun(bool clearProgress);
    void updateWishHint(field::Field k);
    void showWishHints();
    void takeSuggestion(const QString& link);
    void closeOtherWindows();
    void closeExplanations();
    void showListMenu(const QPoint& at);

    Program& m_program;
    Prompts& m_prompts;
    bool m_started = false;
    bool m_closing = false;
    bool m_loading = false;
    bool m_closeAfterLoad = false;

    QLabel* Label16 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* m_zeroHint = nullptr;
    QProgressBar* m_fileProgress = nullptr;
    QPushButton* Command1 = nullptr;
    QTreeWidget* List = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    std::array<QComboBox*, 15> Combo{};                             // Combo[1]..Combo[14]
    field::FieldArray<QComboBox*, field::Attributes> m_wishBoxes{}; // null where there is none
    using WishEntries = field::FieldArray<QStringList, field::Attributes>;
    // What each listed box offers, sorted: pure work on the knowledge base, so
    // that the start-up can do it beside the load instead of on this thread.
    WishEntries wishEntries() const;
    void setWishEntries(WishEntries entries);
    int ShownCount = 0;
    QList<QPointer<HelpWindow>> m_helpWindows;
    // The rows of the list and the wishes of the search that filled them.
    QList<RecordPtr> m_shown;
    SearchRun::Wishes m_runTyped, m_shownTyped;
    PreparedWishes m_runPrepared, m_shownPrepared;
    // What each box's wish means now (updated as it is typed), and the
    // attributes whose formula failed for every listing in the last search.
    PreparedWishes m_wishHints;
    QList<field::Field> m_failedEverywhere;
    // The open explanation windows by listing; the listing is held so that its
    // address is not reused while its window is open.
    QHash<const Record*, std::pair<RecordPtr, QPointer<ExplanationWindow>>> m_explanations;
    std::function<QString(const QString&, QChar&)> m_chooseSaveFile;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_rearm = false;
    bool m_closeAfterRun = false;
};
