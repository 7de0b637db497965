// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/GuiItemToolTips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

bool CutOffToolTips::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                               const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty() || sizeHint(option, index).width() <= option.rect.width()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    return true;
}

void ShowCutOffTextsAsToolTips(QAbstractItemView* view)
{
    view->setItemDelegate(new CutOffToolTips(view));
}
