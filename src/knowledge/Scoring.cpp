// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/Scoring.h"

#include "platform/Errors.h"
#include "script/ScriptEngine.h"

#include <algorithm>
#include <utility>

namespace scoring {

namespace {

// Every kind has its strategy, and it yields what the kind's column holds.
template <Kind K> constexpr bool strategyFits()
{
    constexpr kinds::Column column = kinds::Of(K).column;
    static_assert(sizeof(Strategy<K>) > 0); // declared for every kind
    if constexpr (column == kinds::Column::None) {
        return true;
    } else {
        using Of = decltype(&Strategy<K>::Of);
        if constexpr (column == kinds::Column::Values)
            return std::is_same_v<Of, Value (*)(const Attribute&, const Record&)>;
        else
            return std::is_same_v<Of, std::uint32_t (*)(const Attribute&, const Record&)>;
    }
}
template <std::size_t... I> constexpr bool everyStrategyFits(std::index_sequence<I...>)
{
    return (strategyFits<static_cast<Kind>(I)>() && ...);
}
static_assert(everyStrategyFits(std::make_index_sequence<kinds::Count>{}),
              "every Kind needs a scoring::Strategy that yields what its column holds");

// Letters whose lower case is one letter of the same code-unit count: Latin and
// Cyrillic, which is what the data holds.
bool simpleCase(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x130 || (u >= 0x400 && u < 0x530);
}

struct Fnv
{
    std::uint32_t h = 2166136261u;
    void add(char16_t u) { h = (h ^ u) * 16777619u; }
};

} // namespace

float Closeness(float a, float v, float lo, float hi)
{
    float out = 0;
    if (!TryCloseness(a, v, lo, hi, out)) throw VestranaError::overflow();
    return out;
}

std::uint32_t HashOfFolded(QStringView folded)
{
    Fnv f;
    for (QChar c : folded)
        f.add(c.unicode());
    return f.h;
}

std::uint32_t FoldedHash(QStringView field)
{
    const QStringView t = text::TrimmedView(field);
    Fnv f;
    for (QChar c : t) {
        if (!simpleCase(c)) return HashOfFolded(t.toString().toLower());
        f.add(c.toLower().unicode());
    }
    return f.h;
}

// Without building a lower-cased copy of the field.
bool FoldedEquals(QStringView field, const QString& folded)
{
    const QStringView f = text::TrimmedView(field);
    if (f.size() == folded.size()) {
        bool simple = true;
        for (qsizetype i = 0; i < f.size(); ++i) {
            const QChar c = f[i];
            if (!simpleCase(c)) {
                simple = false;
                break;
            }
            if (c != folded[i] && c.toLower() != folded[i]) return false;
        }
        if (simple) return true;
    } else if (std::all_of(f.begin(), f.end(), simpleCase)) {
        return false; // simple letters keep their count when lower-cased
    }
    return f.toString().toLower() == folded;
}

Wish MakeWish(Kind kind, const KnowledgeBase& kb, field::Field f, const QString& text, double number)
{
    const kinds::Traits& t = kinds::Of(kind);
    Wish w;
    w.scored = true;
    if (!t.comparesNumbers) {
        w.folded = text::Folded(text);
        w.hash = HashOfFolded(w.folded);
        return w;
    }
    w.aFits = text::FitsSingle(number);
    w.a = w.aFits ? static_cast<float>(number) : 0.0f;
    if (t.keepsRange) {
        w.lo = kb.AttributeMin[f];
        w.hi = kb.AttributeMax[f];
    }
    return w;
}

bool HasFormalizedValue(Kind kind)
{
    return kinds::Of(kind).column == kinds::Column::Values;
}

float FormalizedValueOf(Kind kind, const KnowledgeBase& kb, const ScriptEngine& engine, const Record& r,
                        field::Field f)
{
    return WithKind(kind, [&](auto k) -> float {
        constexpr Kind K = decltype(k)::value;
        if constexpr (kinds::Of(K).column == kinds::Column::Values) {
            const Value v = Strategy<K>::Of(Attribute{kb, engine, f}, r);
            if (v.flags & kBeyond) throw VestranaError::overflow();
            return v.value;
        } else {
            return 0.0f;
        }
    });
}

} // namespace scoring
