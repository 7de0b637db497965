// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/ScoreColumns.h"

#include "knowledge/Formula.h"
#include "platform/Parallel.h"
#include "platform/Simd.h"
#include "platform/Text.h"
#include "script/ScriptEngine.h"

#include <algorithm>
#include <mutex>

namespace {

// Letters whose lower case is one letter of the same code-unit count: Latin and
// Cyrillic, which is what the data holds.
bool simpleCase(char16_t u)
{
    return u < 0x130 || (u >= 0x400 && u < 0x530);
}

struct Fnv
{
    std::uint32_t h = 2166136261u;
    void add(char16_t u) { h = (h ^ u) * 16777619u; }
};

// Rows computed per part of a parallel step: a formula costs about a
// microsecond, a number a few nanoseconds.
constexpr int kGrain = 4096;

} // namespace

ScoreColumns::Mode ScoreColumns::ModeOf(Kind kind)
{
    switch (kind) {
    case Kind::Numeric:
        return Mode::Number;
    case Kind::Ordinal:
        return Mode::Folded;
    case Kind::ByValue:
        return Mode::ByValue;
    case Kind::ByFormula:
        return Mode::ByFormula;
    case Kind::Other:
        return Mode::None;
    }
    return Mode::None;
}

std::uint32_t ScoreColumns::HashOfFolded(QStringView folded)
{
    Fnv f;
    for (QChar c : folded)
        f.add(c.unicode());
    return f.h;
}

std::uint32_t ScoreColumns::FoldedHash(QStringView field)
{
    const QStringView t = text::TrimmedView(field);
    Fnv f;
    for (QChar c : t) {
        if (!simpleCase(c.unicode())) return HashOfFolded(t.toString().toLower());
        f.add(c.toLower().unicode());
    }
    return f.h;
}

void ScoreColumns::Clear()
{
    *this = ScoreColumns();
}

void ScoreColumns::reset(Column& c, Mode mode, const KnowledgeBase& kb, int k)
{
    const field::Field ks = field::At(k);
    c.mode = mode;
    c.built = 0;
    c.clockRead = false;
    c.clock = 0;
    c.listRevision = kb.AttributeValueLists[ks].Revision();
    c.formula = kb.AttributeFormulas[ks];
    c.names = kb.AttributeNames;
    c.listScores.clear();
    c.listBeyond.clear();
    if (mode == Mode::ByValue) {
        // Each accepted value's formalized value, read once.
        const QStringList& scores = kb.AttributeValueLists[ks].Scores();
        c.listScores.resize(static_cast<size_t>(scores.size()));
        c.listBeyond.resize(static_cast<size_t>(scores.size()));
        for (qsizetype p = 0; p < scores.size(); ++p) {
            const double x = text::Val(scores[p]);
            const bool fits = text::FitsSingle(x);
            c.listScores[static_cast<size_t>(p)] = fits ? static_cast<float>(x) : 0.0f;
            c.listBeyond[static_cast<size_t>(p)] = fits ? 0 : kBeyond;
        }
    }
}

void ScoreColumns::Refresh(const KnowledgeBase& kb, const ScriptEngine& engine)
{
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const auto ks = static_cast<size_t>(k);
        Column& c = m_columns[ks];
        const field::Field f = field::At(k);
        const Mode mode = ModeOf(kb.AttributeKinds[f].Id());
        bool current = c.mode == mode;
        if (current && mode == Mode::ByValue)
            current = c.listRevision == kb.AttributeValueLists[f].Revision();
        if (current && mode == Mode::ByFormula)
            current = c.formula == kb.AttributeFormulas[f] && c.names == kb.AttributeNames &&
                      !(c.clockRead && c.clock != engine.ClockDay());
        if (!current) reset(c, mode, kb, k);
    }
}

void ScoreColumns::computeRow(Column& c, int k, int row, const Record& r, const KnowledgeBase& kb,
                              const ScriptEngine& engine, bool& clockRead)
{
    const auto i = static_cast<size_t>(row);
    switch (c.mode) {
    case Mode::None:
        return;
    case Mode::Number: {
        const double x = text::Val(r.Field(field::At(k)));
        const bool fits = text::FitsSingle(x);
        c.value[i] = fits ? static_cast<float>(x) : 0.0f;
        c.beyond[i] = fits ? 0 : kBeyond;
        return;
    }
    case Mode::ByValue: {
        const int p = kb.AttributeValueLists[field::At(k)].IndexOf(r.Field(field::At(k)));
        c.value[i] = p < 0 ? 0.0f : c.listScores[static_cast<size_t>(p)];
        c.beyond[i] = p < 0 ? 0 : c.listBeyond[static_cast<size_t>(p)];
        return;
    }
    case Mode::ByFormula: {
        // A failing formula gives 0, as the straightforward scoring has it.
        bool ok = false;
        c.value[i] = EvaluateFormula(r, c.formula, ok, kb, engine, nullptr, &clockRead);
        c.beyond[i] = ok ? 0 : kFailed;
        return;
    }
    case Mode::Folded:
        c.hash[i] = FoldedHash(r.Field(field::At(k)));
        return;
    }
}

bool ScoreColumns::FailedEverywhere(int k, int rows) const
{
    const Column& c = m_columns[static_cast<size_t>(k)];
    if (c.mode != Mode::ByFormula || rows <= 0 || c.built < rows) return false;
    for (int i = 0; i < rows; ++i)
        if (!(c.beyond[static_cast<size_t>(i)] & kFailed)) return false;
    return true;
}

void ScoreColumns::prepareColumn(Column& c, int k, const KnowledgeBase& kb)
{
    const size_t n = m_rows.size();
    if (c.mode == Mode::Folded) {
        if (c.hash.size() != n) c.hash.resize(n);
    } else if (c.value.size() != n) {
        c.value.resize(n);
        c.beyond.resize(n);
    }
    if (c.mode == Mode::ByValue) {
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
        if (c.mode == Mode::Folded) {
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
        if (!wanted[static_cast<size_t>(k)] || c.mode == Mode::None || c.built >= end) continue;
        prepareColumn(c, k, kb);
        todo[static_cast<size_t>(count++)] = k;
        begin = std::min(begin, c.built);
        formula = formula || c.mode == Mode::ByFormula;
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
