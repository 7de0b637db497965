// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "editing/ExpertChecks.h"

#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "script/ScriptEngine.h"
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

QString FormulaProblem(const KnowledgeBase& kb, const ScriptEngine& engine, const QString& formula)
{
    if (text::Trimmed(formula).isEmpty()) return QStringLiteral("Формула пуста");
    // Each attribute name stands for a listing's field; a run of digits as long
    // as the name reads as a value there and keeps every place in the text.
    QString s = formula;
    for (field::Field f : field::AttributeFields) {
        const QString& name = kb.AttributeNames[f];
        if (!name.isEmpty()) s.replace(name, QString(name.size(), u'1'));
    }
    const std::optional<ScriptProblem> problem = engine.Check(s, kb.AttributeNames);
    if (!problem) return {};
    const QString place = problem->position >= formula.size()
                              ? QStringLiteral("в конце формулы")
                              : QStringLiteral("в позиции %1").arg(problem->position + 1);
    return (problem->syntax ? QStringLiteral("Синтаксическая ошибка ") : QStringLiteral("Ошибка ")) + place +
           QStringLiteral(": ") + problem->reason;
}

FormulaCheckResult CheckFormula(Program& program, const QString& formula)
{
    FormulaCheckResult result;
    const int count = program.Records.Items.Count();
    if (count == 0) return result;
    result.position = program.Random.Pick(count);
    const Record& listing = *program.Records.Items.Item(result.position);
    result.reason = FormulaProblem(program.Knowledge, program.Engine(), formula);
    if (!result.reason.isEmpty()) {
        result.status = FormulaCheckResult::Status::Failed;
        return result;
    }
    bool ok = false;
    program.Engine().ReadClock();
    const float value =
        EvaluateFormula(listing, formula, ok, program.Knowledge, program.Engine(), &result.reason);
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
    for (field::Field f : field::AttributeFields) {
        s += kb.AttributeNames[f];
        s += QStringLiteral(": ");
        s += listing.Field(f);
        s += cr;
    }
    s += QStringLiteral("------------");
    s += cr;
    s += QStringLiteral("Значение функции = ");
    s += text::NumberText(static_cast<double>(value));
    return s;
}
