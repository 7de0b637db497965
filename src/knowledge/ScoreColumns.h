// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "knowledge/KnowledgeBase.h"
#include "knowledge/Scoring.h"
#include "store/Records.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class ScriptEngine;

// The compared values of every listing, attribute by attribute, kept from one
// search to the next: what the kind's scoring::Strategy yields (a number and
// its flags, or for a text match a hash of the folded field), laid out as the
// kind's kinds::Column says. A search reads these columns instead of the listings' texts,
// and a formula is evaluated once per listing and change, not once per search.
//
// Nothing has to announce a change: before a search, Refresh compares what
// every column was computed from (the attribute's kind, its accepted values'
// revision, its formula and the attribute names, the clock when a formula read
// it) and Sync compares every listing's pointer and revision with the row it
// was computed from. Whatever differs is computed again; the rest is kept.
//
// A column is valid for its rows [0, Built()); the search extends it as it
// goes. Only the thread that owns the collection calls these; Extend spreads
// pure computation over the cores.
class ScoreColumns
{
public:
    using Attributes = std::array<bool, KnowledgeBase::Attributes>;

    // Drops the columns whose inputs in the knowledge base or clock changed.
    void Refresh(const KnowledgeBase& kb, const ScriptEngine& engine);
    // Brings the rows up to the collection's listings, in order: rows of
    // listings still there are kept (their revisions are checked later, by
    // Extend and CheckRow).
    void SyncRows(const RecordList& items);
    // Makes the `wanted` columns valid up to row `end`, one walk over the
    // listings for all of them. A listing met on the way whose revision
    // changed is computed again in every column that holds it.
    void Extend(const Attributes& wanted, int end, const RecordList& items, const KnowledgeBase& kb,
                const ScriptEngine& engine);
    // Row i's listing `r` at its present revision in every column that holds
    // the row: true when it had changed and was computed again.
    bool CheckRow(int i, const Record& r, const KnowledgeBase& kb, const ScriptEngine& engine)
    {
        if (r.Revision() == m_revisions[static_cast<size_t>(i)]) [[likely]]
            return false;
        recomputeRow(i, r, kb, engine);
        return true;
    }

    int Built(int k) const { return m_columns[static_cast<size_t>(k)].built; }
    // A Values column: the value, and its flags (scoring::kBeyond,
    // scoring::kFailed).
    const float* Values(int k) const { return m_columns[static_cast<size_t>(k)].value.data(); }
    const std::uint8_t* Beyond(int k) const { return m_columns[static_cast<size_t>(k)].beyond.data(); }
    // Whether the formula of column k failed for each of the rows
    // [0, rows) (all of them built); false for no rows.
    bool FailedEverywhere(int k, int rows) const;
    // A Hashes column: the hash of each row's folded field.
    const std::uint32_t* Hashes(int k) const { return m_columns[static_cast<size_t>(k)].hash.data(); }

    // Forgets everything (the memory is given back).
    void Clear();

private:
    struct Column
    {
        Kind kind = Kind::Other;
        int built = 0;
        std::vector<float> value;
        std::vector<std::uint8_t> beyond;
        std::vector<std::uint32_t> hash;
        // What the values were computed from.
        quint64 listRevision = 0;
        QString formula;
        field::FieldArray<QString> names;
        bool clockRead = false;
        double clock = 0;
        // A kind that reads the accepted values: each one's number, read once.
        std::vector<scoring::Value> listValues;
    };

    void reset(Column& c, Kind kind, const KnowledgeBase& kb, int k);
    void recomputeRow(int i, const Record& r, const KnowledgeBase& kb, const ScriptEngine& engine);
    void prepareColumn(Column& c, int k, const KnowledgeBase& kb);
    void computeRow(Column& c, int k, int row, const Record& r, const KnowledgeBase& kb,
                    const ScriptEngine& engine, bool& clockRead);
    void remap(const RecordList& items);

    std::array<Column, KnowledgeBase::Attributes> m_columns;
    std::vector<const Record*> m_rows;
    std::vector<quint64> m_revisions;
};
