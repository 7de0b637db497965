// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "search/SearchRun.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QTreeWidget;

// One result shown whole: the listing's fields and why it scored as it did.
// It keeps what it was opened with; a later search or edit does not change it.
class ExplanationWindow : public QWidget
{
    Q_OBJECT
public:
    // `names` are the attribute names, `fields` the listing's attribute fields' texts.
    ExplanationWindow(const QStringList& names, const QStringList& fields, const Explanation& explanation,
                      QWidget* parent = nullptr);

    // The sentence above the table: the match and where most was lost.
    static QString Summary(const Explanation& explanation);
    // The table's attribute order: most points lost first, attributes without a
    // wish last, ties in attribute order.
    static QList<field::Field> RowOrder(const Explanation& explanation);
    // A score as the window and the result list show it ("94.8", "-125").
    static QString ScoreText(float score);

private:
    QLabel* m_summary = nullptr;
    QTreeWidget* m_table = nullptr;
};
