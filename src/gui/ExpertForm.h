// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "store/Fields.h"

#include <QDialog>

#include <optional>

class Program;
class Prompts;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStringListModel;
class QTimer;
class QTreeView;

// The knowledge base editor: kind, formula and comment of each attribute, its
// accepted values with their formalized values, and the formula check. Every edit
// goes straight into the program's knowledge base; there is no save or cancel.
class ExpertForm : public QDialog
{
    Q_OBJECT
public:
    ExpertForm(Program& program, Prompts& prompts, QWidget* parent = nullptr);
    ~ExpertForm() override;

    // Brings the frame captions, the value list, the boxes and the enabled states
    // in line with the two selections and the knowledge base. The value list is
    // refilled only when the selected attribute has changed.
    void RefreshData();

    // The attribute whose values the value list holds; none until the first refresh.
    std::optional<field::Field> listedAttribute() const { return ListedAttribute; }

    // Closing asks first while a formula attribute's formula does not read;
    // "Нет" (the default) keeps the window open on that attribute.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    std::optional<field::Field> selectedAttribute() const;
    int selectedValue() const;
    void selectValue(int row);
    void onValueSelectionChanged();
    void onKindPicked(int index);
    void onFormulaChanged(const QString& text);
    void onCommentChanged(const QString& text);
    void onFormalizedChanged(const QString& text);
    void storeFormalized(const QString& text);
    void showFormalizedMessage();
    void markFormalized(bool refused);
    void showFormulaProblem();
    void deleteValue();
    void addValue();
    void checkFormula();
    void enablingCheck();
    void refuseUnsafeInput();

    Program& m_program;
    Prompts& m_prompts;

    QListWidget* List = nullptr;
    QTreeView* ListView1 = nullptr;
    QStringListModel* m_values = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_formulaProblem = nullptr;
    QLabel* m_valueProblem = nullptr;
    QTimer* Timer1 = nullptr;

    std::optional<field::Field> ListedAttribute;
    // Set while RefreshData writes the formula and comment boxes: those writes
    // put back what is stored, so they store nothing.
    bool m_writingBoxes = false;
    // Set while RefreshData writes the formalized value box: the check runs and
    // may warn, but showing a value never changes what is stored for it.
    bool m_showingScore = false;
    // Selection changes made by the editor itself (refill, delete, add) do not
    // refresh on their own; the operation refreshes once it is done.
    int m_quiet = 0;
};
