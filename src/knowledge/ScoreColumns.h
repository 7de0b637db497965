// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "knowledge/KnowledgeBase.h"
#include "store/Records.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class ScriptEngine;

// The compared values of every listing, attribute by attribute, kept from one
// search to the next: the number read from the field, the formalized value of
// the accepted value, the formula's result, or (for a text match) a hash of the
// folded field. A search reads these columns instead of the listings' texts,
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
    enum class Mode : std::uint8_t { None, Number, ByValue, ByFormula, Folded };
    static Mode ModeOf(Kind kind);

    // The hash a Folded column holds for a field: of the text trimmed and
    // lower-cased (text::Folded), computed without building it. `folded` is
    // hashed as it stands (it is folded already).
    static std::uint32_t FoldedHash(QStringView field);
    static std::uint32_t HashOfFolded(QStringView folded);

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

    Mode ModeAt(int k) const { return m_columns[static_cast<size_t>(k)].mode; }
    int Built(int k) const { return m_columns[static_cast<size_t>(k)].built; }
    // Number, ByValue, ByFormula: the value, and its flags: kBeyond where it
    // is beyond single precision (the attribute then scores 0), kFailed where
    // the formula failed for the listing (the value is then 0).
    static constexpr std::uint8_t kBeyond = 1, kFailed = 2;
    const float* Values(int k) const { return m_columns[static_cast<size_t>(k)].value.data(); }
    const std::uint8_t* Beyond(int k) const { return m_columns[static_cast<size_t>(k)].beyond.data(); }
    // Whether the formula of ByFormula column k failed for each of the rows
    // [0, rows) (all of them built); false for no rows.
    bool FailedEverywhere(int k, int rows) const;
    // Folded: the hash of each row's folded field.
    const std::uint32_t* Hashes(int k) const { return m_columns[static_cast<size_t>(k)].hash.data(); }

    // Forgets everything (the memory is given back).
    void Clear();

private:
    struct Column
    {
        Mode mode = Mode::None;
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
        // ByValue: each accepted value's formalized value and whether it is
        // beyond single precision.
        std::vector<float> listScores;
        std::vector<std::uint8_t> listBeyond;
    };

    void reset(Column& c, Mode mode, const KnowledgeBase& kb, int k);
    void recomputeRow(int i, const Record& r, const KnowledgeBase& kb, const ScriptEngine& engine);
    void prepareColumn(Column& c, int k, const KnowledgeBase& kb);
    void computeRow(Column& c, int k, int row, const Record& r, const KnowledgeBase& kb,
                    const ScriptEngine& engine, bool& clockRead);
    void remap(const RecordList& items);

    std::array<Column, KnowledgeBase::Attributes> m_columns;
    std::vector<const Record*> m_rows;
    std::vector<quint64> m_revisions;
};
