#include "knowledge/Scoring.h"

#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "search/Program.h"

#include <cmath>

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
    const long double divisor = r != 0 ? static_cast<long double>(r) : static_cast<long double>(r) + 1.0L;
    const long double result = static_cast<long double>(t) * 100.0L / divisor;
    return single(static_cast<double>(result));
}

float FormalizedValue(Program& program, int k, int i)
{
    KnowledgeBase::CheckIndex(k);
    const KnowledgeBase& kb = program.Knowledge;
    const QString& kind = kb.AttributeKinds[static_cast<size_t>(k)];
    if (kind == kinds::ByValue) {
        const Record& r = *program.Records.Items.Item(i);
        const AttributeValueList& list = kb.AttributeValueLists[static_cast<size_t>(k)];
        const int p = list.IndexOf(r.Field(k));
        return p < 0 ? 0.0f : single(text::Val(list.Scores()[p]));
    }
    if (kind == kinds::ByFormula) {
        bool ok = false;
        return program.Records.Items.Item(i)->Formula(kb.AttributeFormulas[static_cast<size_t>(k)], ok, kb,
                                                      program.Engine());
    }
    if (kind == kinds::Numeric)
        return single(text::Val(program.Records.Items.Item(i)->Field(k)));
    return 0.0f;
}

void ClearFoundList(Program& program)
{
    program.FoundList.clear();
}

} // namespace scoring
