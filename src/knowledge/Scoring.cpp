#include "knowledge/Scoring.h"

#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "store/Record.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace scoring {

namespace {

float single(double x)
{
    return text::ToSingle(x);
}

} // namespace

float Closeness(float a, float v, float lo, float hi)
{
    const float d = single(std::fabs(static_cast<double>(v) - static_cast<double>(a)));
    const float r = single(std::fabs(static_cast<double>(hi) - static_cast<double>(lo)));
    const float t = single(static_cast<double>(r) - static_cast<double>(d));
    // t * 100 is exact in double. The double quotient rounds to the same single
    // as the extended one unless it lands exactly halfway between two singles;
    // only then is the slower extended division needed.
    const double divisor = r != 0 ? static_cast<double>(r) : 1.0;
    const double q = static_cast<double>(t) * 100.0 / divisor;
    if (!(std::fabs(q) <= static_cast<double>(std::numeric_limits<float>::max()))) return single(q);
    uint64_t bits;
    std::memcpy(&bits, &q, sizeof bits);
    if ((bits & 0x1FFFFFFFu) != 0x10000000u) return static_cast<float>(q);
    const long double extended = static_cast<long double>(t) * 100.0L / static_cast<long double>(divisor);
    return single(static_cast<double>(extended));
}

Source SourceOf(Kind kind)
{
    switch (kind) {
    case Kind::ByValue:
        return Source::ByValue;
    case Kind::ByFormula:
        return Source::ByFormula;
    case Kind::Numeric:
        return Source::Number;
    case Kind::Ordinal:
    case Kind::Other:
        return Source::Zero;
    }
    return Source::Zero;
}

float FormalizedValueOf(Source source, const KnowledgeBase& kb, ScriptEngine& engine, const Record& r, int k)
{
    switch (source) {
    case Source::ByValue: {
        const AttributeValueList& list = kb.AttributeValueLists[static_cast<size_t>(k)];
        const int p = list.IndexOf(r.Field(k));
        return p < 0 ? 0.0f : single(text::Val(list.Scores()[p]));
    }
    case Source::ByFormula: {
        // The success flag is not looked at: a failing formula gives 0.
        bool ok = false;
        return EvaluateFormula(r, kb.AttributeFormulas[static_cast<size_t>(k)], ok, kb, engine);
    }
    case Source::Number:
        return single(text::Val(r.Field(k)));
    case Source::Zero:
        break;
    }
    return 0.0f;
}

} // namespace scoring
