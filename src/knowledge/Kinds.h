// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

// How an attribute's value is compared with a wish. A text that names none of
// the kinds, the empty one included, is Other, which stays the last member:
// kinds::Count follows it. Everything a kind decides is its row of
// kinds::Table and its scoring::Strategy (knowledge/Scoring.h); a member without
// either does not compile.
enum class Kind : std::uint8_t { ByValue, ByFormula, Ordinal, Numeric, Other };

namespace kinds {

inline constexpr int Count = static_cast<int>(Kind::Other) + 1;

// How the search prepares a wish of the kind.
enum class Wish : std::uint8_t {
    Text,          // compared as text, trimmed
    AcceptedValue, // an accepted value is replaced by its formalized value, else a number on 0..100
    FormulaResult, // a formula of its own attribute only turns the wish's number into its result
    Number,        // the number the wish holds
};

// What the search keeps of every listing for an attribute of the kind.
enum class Column : std::uint8_t {
    None,   // nothing: every listing's compared value is 0
    Values, // a number and its flags
    Hashes, // the hash of the folded field, for a text match
};

struct Traits
{
    Kind kind;
    // As knows.txt spells it, compared exactly; empty for the kind no text names.
    const char16_t* text;
    Wish wish;
    // False: a text match, scored 100 or 0.
    bool comparesNumbers;
    // The re-index measures the attribute's range and the closeness is taken
    // over it; the others compare over 0..100.
    bool keepsRange;
    Column column;
    // What the compared value reads besides the field: the formula (the
    // expert's formula box), the accepted values (the expert's value frame).
    bool usesFormula;
    bool usesValues;
    // The explanation's words before the listing's number; null: not shown.
    const char16_t* valueCaption;
};

// One row per kind, in the order the expert's list offers the named ones.
// clang-format off
inline constexpr Traits Table[] = {
//   kind             text                                   wish                 numbers range  column          formula values caption
    {Kind::ByValue,   u"Формализованный числовым значением", Wish::AcceptedValue, true,   false, Column::Values, false,  true,  u" — оценка "},
    {Kind::ByFormula, u"Формализованный формулой",           Wish::FormulaResult, true,   false, Column::Values, true,   false, u" — по формуле "},
    {Kind::Ordinal,   u"Порядковый",                         Wish::Text,          false,  false, Column::Hashes, false,  false, nullptr},
    {Kind::Numeric,   u"Числовой",                           Wish::Number,        true,   true,  Column::Values, false,  false, nullptr},
    {Kind::Other,     u"",                                   Wish::Number,        true,   false, Column::None,   false,  false, nullptr},
};
// clang-format on
static_assert(std::size(Table) == Count, "kinds::Table needs one row per Kind");
constexpr bool RowsInOrder()
{
    for (int i = 0; i < Count; ++i)
        if (Table[i].kind != static_cast<Kind>(i)) return false;
    return true;
}
static_assert(RowsInOrder(), "row i of kinds::Table describes Kind(i)");

constexpr const Traits& Of(Kind kind)
{
    return Table[static_cast<std::size_t>(kind)];
}

// The named kinds in the order the expert's list offers them.
inline constexpr auto Named = [] {
    constexpr int named = [] {
        int n = 0;
        for (const Traits& t : Table)
            n += t.text[0] != 0;
        return n;
    }();
    std::array<Kind, named> out{};
    std::size_t i = 0;
    for (const Traits& t : Table)
        if (t.text[0] != 0) out[i++] = t.kind;
    return out;
}();

// The kind a text names.
Kind Parse(const QString& text);
// The text of a kind; Other has none (empty).
const QString& TextOf(Kind kind);

// The kind texts by name, for the sample and the tests.
inline const QString& Numeric = TextOf(Kind::Numeric);
inline const QString& Ordinal = TextOf(Kind::Ordinal);
inline const QString& ByValue = TextOf(Kind::ByValue);
inline const QString& ByFormula = TextOf(Kind::ByFormula);

} // namespace kinds
