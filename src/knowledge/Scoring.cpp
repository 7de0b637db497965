// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
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
    float out = 0;
    if (!TryCloseness(a, v, lo, hi, out)) throw VestranaError::overflow();
    return out;
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

float FormalizedValueOf(Source source, const KnowledgeBase& kb, ScriptEngine& engine, const Record& r,
                        field::Field k)
{
    switch (source) {
    case Source::ByValue: {
        const AttributeValueList& list = kb.AttributeValueLists[k];
        const int p = list.IndexOf(r.Field(k));
        return p < 0 ? 0.0f : single(text::Val(list.Scores()[p]));
    }
    case Source::ByFormula: {
        // The success flag is not looked at: a failing formula gives 0.
        bool ok = false;
        return EvaluateFormula(r, kb.AttributeFormulas[k], ok, kb, engine);
    }
    case Source::Number:
        return single(text::Val(r.Field(k)));
    case Source::Zero:
        break;
    }
    return 0.0f;
}

} // namespace scoring
