// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

// Draws cells as usual and, when a cell's text does not fit its width, shows
// the whole text as the cell's tooltip. Cells that show all of their text get
// none.
class CutOffToolTips : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

// Gives the view the delegate above.
void ShowCutOffTextsAsToolTips(QAbstractItemView* view);
