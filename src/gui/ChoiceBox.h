// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QComboBox>

class QCompleter;
class QStringListModel;

// An editable drop-down for a wish: any text may be typed, an entry may be
// picked. Typing offers the entries that hold the typed text anywhere (letter
// case aside) in a list below the box; nothing is ever completed inline, so
// the box holds what the user typed until an entry is picked. Both lists are
// as wide as their longest entries (within the screen). The mouse wheel
// changes the box only while it has focus, so scrolling past it changes nothing.
class ChoiceBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ChoiceBox(QWidget* parent = nullptr);

    // Replaces the entries, keeping the typed text.
    void SetEntries(const QStringList& entries);
    QStringList Entries() const;

    // The list of entries matching what is typed.
    QCompleter* Filter() const { return m_filter; }
    // The width both lists take for the present entries.
    int PopupWidth() const;

    void showPopup() override;

protected:
    void wheelEvent(QWheelEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QStringListModel* m_model = nullptr;
    QStringListModel* m_matches = nullptr; // the entries the filter shows
    QCompleter* m_filter = nullptr;
    mutable int m_popupWidth = -1; // measured on first need after a change
};
