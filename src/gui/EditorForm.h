// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QWidget>

class Program;
class Prompts;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;
class RecordsTableModel;

// The database editor: every listing of the collection in a list, and the
// buttons that add, delete, edit, import and re-index. The list is a view over
// the collection itself, so opening it costs nothing per listing.
//
// The opener creates a new window each time (with Qt::WA_DeleteOnClose),
// calls RefreshData and shows it, modeless.
class EditorForm : public QWidget
{
    Q_OBJECT
public:
    EditorForm(Program& program, Prompts& prompts, QWidget* parent = nullptr);
    ~EditorForm() override;

    // Refills the list from the collection.
    void RefreshData();

    // True once a change through this window brought values the knowledge
    // base may not hold (a listing added or edited, an import that took
    // listings): closing with "Закрыть" then offers the re-index. Never reset.
    bool change = false;

    // The 1-based position of the selected row, or 0 when none is selected.
    int SelectedPosition() const;

    QTreeView* List = nullptr;
    QPushButton* Command1 = nullptr; // "&Добавить"
    QPushButton* Command2 = nullptr; // "&Удалить"
    QPushButton* Command3 = nullptr; // "&Редактировать"
    QPushButton* Command4 = nullptr; // "&Закрыть"
    QPushButton* Command5 = nullptr; // "&Синхронизация"
    QPushButton* Command6 = nullptr; // "&Индексирование"
    // The list's context menu with "Удалить повторы…": of every flat the
    // database holds more than once, keeps the newest listing and removes the
    // others, after writing all listings to database.txt.bak.
    QMenu* ListMenu = nullptr;
    QAction* DedupeAction = nullptr;
    // The status line under the buttons: how the last re-index or dedupe ended.
    QLabel* Status = nullptr;

protected:
    // Closing by the frame closes without the re-index question; during this
    // window's re-index it asks the re-index to stop.
    void closeEvent(QCloseEvent* e) override;
    // Enter on the list edits the selected listing, Delete deletes it.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void onAdd();
    void onDelete();
    void onEdit();
    void onClose();
    void onImport();
    void onReindex();
    void onDedupe();
    void runReindex();
    void updateEnabled();
    [[nodiscard]] bool warnIfNothingSelected();
    void selectPosition(int position);
    void notifyChanged();

    Program& m_program;
    Prompts& m_prompts;
    RecordsTableModel* m_model = nullptr;
    bool m_reindexing = false;
};
