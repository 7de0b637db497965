// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ImportMerge.h"

ImportMerge::ImportMerge(Records& records, bool updateExisting, std::function<void()> yield)
    : m_records(records), m_updateExisting(updateExisting), m_yield(std::move(yield))
{
}

bool ImportMerge::Update(Record& held, const Record& fresh)
{
    bool changed = false;
    for (field::Field k : field::AttributeFields) {
        const QStringView value = fresh.Field(k);
        if (value.isEmpty() || value == held.Field(k)) continue;
        held.SetRecord(k, value.toString());
        changed = true;
    }
    return changed;
}

ImportMerge::Outcome ImportMerge::Take(RecordPtr listing)
{
    listing->NormalizeData();
    RecordList& items = m_records.Items;
    if (m_updateExisting) {
        if (!m_index) m_index.emplace(items, m_yield);
        const int held = m_index->Find(*listing);
        if (held >= 0) {
            if (Update(*items.at(held), *listing)) {
                ++m_updated;
                return Outcome::Updated;
            }
            ++m_unchanged;
            return Outcome::Unchanged;
        }
    }
    items.Add(std::move(listing));
    if (m_index) m_index->Insert(items.Count() - 1);
    ++m_added;
    return Outcome::Added;
}

QString ImportSummaryLine(qint64 added, qint64 updated, qint64 unchanged)
{
    return QStringLiteral("Новых объявлений: %1, обновлено: %2, без изменений: %3.")
        .arg(added)
        .arg(updated)
        .arg(unchanged);
}
