// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "editing/ExpertChecks.h"

#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/ScriptEngine.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "store/Record.h"

#include <cmath>
#include <limits>

FormalizedCheck FormalizedValueCheck(QStringView boxText)
{
    const double n = text::RoundHalfEven(text::Val(boxText));
    if (!std::isfinite(n) || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return FormalizedCheck::Refuse;
    const auto whole = static_cast<qint32>(n);
    // -0 reads as 0 and so must be written "0".
    if (text::Trimmed(boxText) != QString::number(whole)) return FormalizedCheck::ResetToZero;
    if (whole < 0 || whole > 100) return FormalizedCheck::Refuse;
    return FormalizedCheck::Store;
}

FormulaCheckResult CheckFormula(Program& program, const QString& formula)
{
    FormulaCheckResult result;
    const int count = program.Records.Items.Count();
    if (count == 0) return result;
    result.position = program.Random.Pick(count);
    const Record& listing = *program.Records.Items.Item(result.position);
    bool ok = false;
    program.Engine().ReadClock();
    const float value = EvaluateFormula(listing, formula, ok, program.Knowledge, program.Engine());
    if (!ok) {
        result.status = FormulaCheckResult::Status::Failed;
        return result;
    }
    result.status = FormulaCheckResult::Status::Succeeded;
    result.value = value;
    result.text = FormulaCheckText(program.Knowledge, listing, value);
    return result;
}

QString FormulaCheckText(const KnowledgeBase& kb, const Record& listing, float value)
{
    const QChar cr(13);
    QString s = QStringLiteral("Атрибуты:");
    s += cr;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        s += kb.AttributeNames[static_cast<size_t>(k)];
        s += QStringLiteral(": ");
        s += listing.GetRecord(k);
        s += cr;
    }
    s += QStringLiteral("------------");
    s += cr;
    s += QStringLiteral("Значение функции = ");
    s += text::NumberText(static_cast<double>(value));
    return s;
}
