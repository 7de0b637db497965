// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/ScoreColumns.h"

#include "platform/Parallel.h"
#include "platform/Simd.h"
#include "platform/Text.h"
#include "script/ScriptEngine.h"

#include <algorithm>
#include <mutex>

namespace {

// Rows computed per part of a parallel step: a formula costs about a
// microsecond, a number a few nanoseconds.
constexpr int kGrain = 4096;

} // namespace

void ScoreColumns::Clear()
{
    *this = ScoreColumns();
}

void ScoreColumns::reset(Column& c, Kind kind, const KnowledgeBase& kb, int k)
{
    const field::Field ks = field::At(k);
    c.kind = kind;
    c.built = 0;
    c.clockRead = false;
    c.clock = 0;
    c.listRevision = kb.AttributeValueLists[ks].Revision();
    c.formula = kb.AttributeFormulas[ks];
    c.names = kb.AttributeNames;
    c.listValues.clear();
    if (kinds::Of(kind).usesValues) {
        // Each accepted value's number, read once.
        const QStringList& scores = kb.AttributeValueLists[ks].Scores();
        c.listValues.reserve(static_cast<size_t>(scores.size()));
        for (const QString& score : scores)
            c.listValues.push_back(scoring::NumberOf(score));
    }
}

void ScoreColumns::Refresh(const KnowledgeBase& kb, const ScriptEngine& engine)
{
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const field::Field ks = field::At(k);
        Column& c = m_columns[static_cast<size_t>(k)];
        const Kind kind = kb.AttributeKinds[ks].Id();
        const kinds::Traits& t = kinds::Of(kind);
        bool current = c.kind == kind;
        if (current && t.usesValues) current = c.listRevision == kb.AttributeValueLists[ks].Revision();
        if (current && t.usesFormula)
            current = c.formula == kb.AttributeFormulas[ks] && c.names == kb.AttributeNames &&
                      !(c.clockRead && c.clock != engine.ClockDay());
        if (!current) reset(c, kind, kb, k);
    }
}

void ScoreColumns::computeRow(Column& c, int k, int row, const Record& r, const KnowledgeBase& kb,
                              const ScriptEngine& engine, bool& clockRead)
{
    const auto i = static_cast<size_t>(row);
    scoring::WithKind(c.kind, [&](auto kind) {
        constexpr Kind K = decltype(kind)::value;
        constexpr kinds::Column column = kinds::Of(K).column;
        if constexpr (column != kinds::Column::None) {
            scoring::Attribute a{kb, engine, field::At(k)};
            a.listValues = c.listValues.data();
            a.formula = &c.formula;
            a.clockRead = &clockRead;
            if constexpr (column == kinds::Column::Values) {
                const scoring::Value v = scoring::Strategy<K>::Of(a, r);
                c.value[i] = v.value;
                c.beyond[i] = v.flags;
            } else {
                c.hash[i] = scoring::Strategy<K>::Of(a, r);
            }
        }
    });
}

bool ScoreColumns::FailedEverywhere(int k, int rows) const
{
    const Column& c = m_columns[static_cast<size_t>(k)];
    if (!kinds::Of(c.kind).usesFormula || rows <= 0 || c.built < rows) return false;
    for (int i = 0; i < rows; ++i)
        if (!(c.beyond[static_cast<size_t>(i)] & scoring::kFailed)) return false;
    return true;
}

void ScoreColumns::prepareColumn(Column& c, int k, const KnowledgeBase& kb)
{
    const size_t n = m_rows.size();
    if (kinds::Of(c.kind).column == kinds::Column::Hashes) {
        if (c.hash.size() != n) c.hash.resize(n);
    } else if (c.value.size() != n) {
        c.value.resize(n);
        c.beyond.resize(n);
    }
    if (kinds::Of(c.kind).usesValues) {
        // The list builds its index lazily: build it here, before other
        // threads read it.
        (void)kb.AttributeValueLists[field::At(k)].IndexOf(QStringView());
    }
}

void ScoreColumns::recomputeRow(int i, const Record& r, const KnowledgeBase& kb, const ScriptEngine& engine)
{
    m_revisions[static_cast<size_t>(i)] = r.Revision();
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        Column& c = m_columns[static_cast<size_t>(k)];
        if (i >= c.built) continue;
        bool read = false;
        computeRow(c, k, i, r, kb, engine, read);
        if (read) {
            c.clockRead = true;
            c.clock = engine.ClockDay();
        }
    }
}

void ScoreColumns::remap(const RecordList& items)
{
    // Listings are appended at the end and removed anywhere, so the rows kept
    // appear in their old order: one walk matches them. A row not found ends
    // the match (everything after it is computed again).
    const int n = items.Count();
    const int old = static_cast<int>(m_rows.size());
    std::vector<int> from(static_cast<size_t>(n), -1);
    int j = 0;
    for (int i = 0; i < n && j < old; ++i) {
        const Record* p = items.at(i).get();
        while (j < old && m_rows[static_cast<size_t>(j)] != p)
            ++j;
        if (j < old) from[static_cast<size_t>(i)] = j++;
    }
    for (Column& c : m_columns) {
        if (c.built == 0) continue;
        int kept = 0;
        while (kept < n && from[static_cast<size_t>(kept)] >= 0 && from[static_cast<size_t>(kept)] < c.built)
            ++kept;
        if (kinds::Of(c.kind).column == kinds::Column::Hashes) {
            std::vector<std::uint32_t> hash(static_cast<size_t>(n));
            for (int i = 0; i < kept; ++i)
                hash[static_cast<size_t>(i)] = c.hash[static_cast<size_t>(from[static_cast<size_t>(i)])];
            c.hash = std::move(hash);
        } else {
            std::vector<float> value(static_cast<size_t>(n));
            std::vector<std::uint8_t> beyond(static_cast<size_t>(n));
            for (int i = 0; i < kept; ++i) {
                const auto f = static_cast<size_t>(from[static_cast<size_t>(i)]);
                value[static_cast<size_t>(i)] = c.value[f];
                beyond[static_cast<size_t>(i)] = c.beyond[f];
            }
            c.value = std::move(value);
            c.beyond = std::move(beyond);
        }
        c.built = kept;
    }
    std::vector<const Record*> rows(static_cast<size_t>(n));
    std::vector<quint64> revisions(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        rows[static_cast<size_t>(i)] = items.at(i).get();
        const int f = from[static_cast<size_t>(i)];
        if (f >= 0) revisions[static_cast<size_t>(i)] = m_revisions[static_cast<size_t>(f)];
    }
    m_rows = std::move(rows);
    m_revisions = std::move(revisions);
}

void ScoreColumns::SyncRows(const RecordList& items)
{
    const int n = items.Count();
    bool same = static_cast<int>(m_rows.size()) == n;
    for (int i = 0; same && i < n; ++i)
        same = items.at(i).get() == m_rows[static_cast<size_t>(i)];
    if (!same) remap(items);
}

void ScoreColumns::Extend(const Attributes& wanted, int end, const RecordList& items, const KnowledgeBase& kb,
                          const ScriptEngine& engine)
{
    std::array<int, KnowledgeBase::Attributes> todo{};
    int count = 0;
    int begin = end;
    bool formula = false;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        Column& c = m_columns[static_cast<size_t>(k)];
        if (!wanted[static_cast<size_t>(k)] || kinds::Of(c.kind).column == kinds::Column::None ||
            c.built >= end)
            continue;
        prepareColumn(c, k, kb);
        todo[static_cast<size_t>(count++)] = k;
        begin = std::min(begin, c.built);
        formula = formula || kinds::Of(c.kind).usesFormula;
    }
    if (count == 0) return;
    // Every other column holding a row of the walk is checked on the way too.
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        Column& c = m_columns[static_cast<size_t>(k)];
        if (c.built > begin) prepareColumn(c, k, kb);
    }
    // Row by row, all columns at once: a listing's fields are read from memory
    // once, not once per column.
    std::vector<char> clockRead(static_cast<size_t>(KnowledgeBase::Attributes), 0);
    std::mutex clockMutex;
    parallel::For(begin, end, formula ? 256 : kGrain, [&](int b, int e) {
        std::array<bool, KnowledgeBase::Attributes> read{};
        for (int i = b; i < e; ++i) {
            if (i + 4 < e) simd::Prefetch(items.at(i + 4).get());
            const Record& r = *items.at(i);
            if (r.Revision() != m_revisions[static_cast<size_t>(i)]) {
                // Changed since the columns holding the row computed it.
                m_revisions[static_cast<size_t>(i)] = r.Revision();
                for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
                    Column& c = m_columns[static_cast<size_t>(k)];
                    bool was = false;
                    if (i < c.built) computeRow(c, k, i, r, kb, engine, was);
                    read[static_cast<size_t>(k)] = read[static_cast<size_t>(k)] || was;
                }
            }
            for (int t = 0; t < count; ++t) {
                const int k = todo[static_cast<size_t>(t)];
                Column& c = m_columns[static_cast<size_t>(k)];
                if (i < c.built) continue;
                bool was = false;
                computeRow(c, k, i, r, kb, engine, was);
                read[static_cast<size_t>(k)] = read[static_cast<size_t>(k)] || was;
            }
        }
        const std::lock_guard<std::mutex> lock(clockMutex);
        for (int k = 0; k < KnowledgeBase::Attributes; ++k)
            if (read[static_cast<size_t>(k)]) clockRead[static_cast<size_t>(k)] = 1;
    });
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        if (!clockRead[static_cast<size_t>(k)]) continue;
        Column& c = m_columns[static_cast<size_t>(k)];
        c.clockRead = true;
        c.clock = engine.ClockDay();
    }
    for (int t = 0; t < count; ++t)
        m_columns[static_cast<size_t>(todo[static_cast<size_t>(t)])].built = end;
}
