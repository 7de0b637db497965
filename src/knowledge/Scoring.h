// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/Text.h"
#include "store/Fields.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

enum class Kind;
class KnowledgeBase;
class QString;
class Record;
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

// Where an attribute's number comes from, by its kind.
enum class Source { Zero, ByValue, ByFormula, Number };
Source SourceOf(Kind kind);
// Attribute k of a listing turned into a number by the attribute's kind, its
// kind already looked at (a long run does that once, not per listing). A
// formula that fails gives 0; a number beyond single precision raises the
// overflow error.
float FormalizedValueOf(Source source, const KnowledgeBase& kb, ScriptEngine& engine, const Record& r,
                        field::Field k);

} // namespace scoring
