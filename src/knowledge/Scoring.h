// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "knowledge/Formula.h"
#include "knowledge/Kinds.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Text.h"
#include "store/Fields.h"
#include "store/Record.h"

#include <QString>
#include <QStringView>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

class ScriptEngine;

// The pieces of a listing's match score.
namespace scoring {

// How close the listing's number v comes to the wish's number a over the range
// lo..hi: 100 when equal, falling by 100 / |hi - lo| per unit of difference and
// never clamped. Each step is rounded to single precision; the product and the
// quotient are computed in extended precision. Raises the overflow error when a
// step leaves the single range.
float Closeness(float a, float v, float lo, float hi);
// The same without the error: false where Closeness raises it. Inline: the
// search calls it for every listing and attribute.
[[nodiscard]] inline bool TryCloseness(float a, float v, float lo, float hi, float& out)
{
    const double dd = std::fabs(static_cast<double>(v) - static_cast<double>(a));
    const double rd = std::fabs(static_cast<double>(hi) - static_cast<double>(lo));
    if (!text::FitsSingle(dd) || !text::FitsSingle(rd)) [[unlikely]]
        return false;
    const float d = static_cast<float>(dd);
    const float r = static_cast<float>(rd);
    const double td = static_cast<double>(r) - static_cast<double>(d);
    if (!text::FitsSingle(td)) [[unlikely]]
        return false;
    const float t = static_cast<float>(td);
    // t * 100 is exact in double. The double quotient rounds to the same single
    // as the extended one unless it lands exactly halfway between two singles;
    // only then is the slower extended division needed.
    const double divisor = r != 0 ? static_cast<double>(r) : 1.0;
    const double q = static_cast<double>(t) * 100.0 / divisor;
    if (!(std::fabs(q) <= static_cast<double>(std::numeric_limits<float>::max()))) {
        if (!text::FitsSingle(q)) return false;
        out = static_cast<float>(q);
        return true;
    }
    uint64_t bits;
    std::memcpy(&bits, &q, sizeof bits);
    if ((bits & 0x1FFFFFFFu) != 0x10000000u) [[likely]] {
        out = static_cast<float>(q);
        return true;
    }
    const long double extended = static_cast<long double>(t) * 100.0L / static_cast<long double>(divisor);
    const double e = static_cast<double>(extended);
    if (!text::FitsSingle(e)) return false;
    out = static_cast<float>(e);
    return true;
}

// What a kind compares of a listing, for one attribute.
struct Value
{
    float value = 0;
    std::uint8_t flags = 0; // kBeyond, kFailed
};
// kBeyond: the number is beyond single precision (the attribute scores 0);
// kFailed: the formula failed for the listing (its value is 0).
inline constexpr std::uint8_t kBeyond = 1, kFailed = 2;

// A number text as every kind reads it: its number prefix in single
// precision, 0 and kBeyond beyond it.
inline Value NumberOf(QStringView s)
{
    const double x = text::Val(s);
    const bool fits = text::FitsSingle(x);
    return {fits ? static_cast<float>(x) : 0.0f, fits ? std::uint8_t(0) : kBeyond};
}

// A text match compares the field trimmed and lower-cased (text::Folded). The
// hash of that, computed without building it; HashOfFolded hashes a text
// already folded.
std::uint32_t FoldedHash(QStringView field);
std::uint32_t HashOfFolded(QStringView folded);
// Whether the field, trimmed and lower-cased, equals `folded`.
bool FoldedEquals(QStringView field, const QString& folded);

// What the score of one attribute compares the listings with: the prepared
// wish and the range, worked out once per run.
struct Wish
{
    bool scored = false; // false: the attribute scores 100
    float a = 0;         // the wish's number
    bool aFits = true;   // false: the wish is beyond single precision, the attribute scores 0
    float lo = 0, hi = 100;
    QString folded;         // a text match: the wish trimmed and lower-cased
    std::uint32_t hash = 0; // HashOfFolded(folded)
};
// The wish of attribute f of the given kind, from the prepared wish's text
// and number.
Wish MakeWish(Kind kind, const KnowledgeBase& kb, field::Field f, const QString& text, double number);

// The score of a number-comparing attribute (a wish that fits single
// precision): the closeness over the wish's range, 0 where the listing's
// number is beyond single precision or the closeness overflows.
inline float NumberScore(const Wish& w, Value v)
{
    float score = 0.0f;
    if ((v.flags & kBeyond) || !TryCloseness(w.a, v.value, w.lo, w.hi, score)) score = 0.0f;
    return score;
}
// The score of a text match, given the hash of the listing's folded field;
// `field()` gives the field, read only where the hashes agree.
template <typename FieldOf> inline float TextScore(const Wish& w, std::uint32_t hash, FieldOf&& field)
{
    return hash == w.hash && FoldedEquals(field(), w.folded) ? 100.0f : 0.0f;
}

// One accepted value for a short list's scan: first occurrences only.
struct Entry
{
    QStringView value;
    Value number;
};

// What a strategy reads of one attribute besides the listing. Built per run,
// per column or per call; the pointers that are set must outlive it.
struct Attribute
{
    const KnowledgeBase& kb;
    const ScriptEngine& engine;
    field::Field field;
    // Accepted values: a short list's entries to scan, else the list's hash
    // index, with each position's number read once (listValues) or at each
    // lookup (null).
    const Entry* entries = nullptr;
    std::size_t entryCount = 0;
    bool scan = false;
    const Value* listValues = nullptr;
    // The formula evaluated (the knowledge base's when null); where set, it
    // is told whether the clock was read, and why the formula failed.
    const QString* formula = nullptr;
    bool* clockRead = nullptr;
    QString* reason = nullptr;
};

// One strategy per kind: what it compares of a listing's attribute. The search
// columns and the straightforward scoring both call it, so the rule is written
// once. Of returns a Value for the Values column, the FoldedHash for the
// Hashes one, and is not called for None.
template <Kind K> struct Strategy;

template <> struct Strategy<Kind::Numeric>
{
    static Value Of(const Attribute& a, const Record& r) { return NumberOf(r.Field(a.field)); }
};

template <> struct Strategy<Kind::Ordinal>
{
    static std::uint32_t Of(const Attribute& a, const Record& r) { return FoldedHash(r.Field(a.field)); }
};

// The formalized value of the first accepted value equal to the field
// exactly (letter case and spaces count); 0 for none.
template <> struct Strategy<Kind::ByValue>
{
    static Value Of(const Attribute& a, const Record& r)
    {
        const QStringView f = r.Field(a.field);
        if (a.scan) {
            for (std::size_t i = 0; i < a.entryCount; ++i) {
                const Entry& e = a.entries[i];
                if (e.value.size() == f.size() && e.value == f) return e.number;
            }
            return {};
        }
        const AttributeValueList& list = a.kb.AttributeValueLists[a.field];
        const int p = list.IndexOf(f);
        if (p < 0) return {};
        return a.listValues ? a.listValues[p] : NumberOf(list.Scores()[p]);
    }
};

// The formula's result; a failing formula gives 0.
template <> struct Strategy<Kind::ByFormula>
{
    static Value Of(const Attribute& a, const Record& r)
    {
        bool ok = false;
        const float v = EvaluateFormula(r, a.formula ? *a.formula : a.kb.AttributeFormulas[a.field], ok, a.kb,
                                        a.engine, a.reason, a.clockRead);
        return {v, ok ? std::uint8_t(0) : kFailed};
    }
};

template <> struct Strategy<Kind::Other>
{
};

// Calls f(std::integral_constant<Kind, K>) for the kind at hand, so that the
// caller's body is compiled once per kind with the kind known.
template <int I = 0, typename F> decltype(auto) WithKind(Kind kind, F&& f)
{
    if constexpr (I + 1 < kinds::Count) {
        if (kind != static_cast<Kind>(I)) return WithKind<I + 1>(kind, static_cast<F&&>(f));
    }
    return f(std::integral_constant<Kind, static_cast<Kind>(I)>{});
}

// Attribute f of a listing turned into a number by the attribute's kind: the
// compared value of a kind with a Values column, else 0 (without reading the
// listing). A formula that fails gives 0; a number beyond single precision
// raises the overflow error.
bool HasFormalizedValue(Kind kind);
float FormalizedValueOf(Kind kind, const KnowledgeBase& kb, const ScriptEngine& engine, const Record& r,
                        field::Field f);

} // namespace scoring
