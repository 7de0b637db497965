// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "knowledge/Formula.h"
#include "platform/Text.h"
#include "program/Program.h"

namespace {

class Formula final : public Command
{
public:
    Formula()
        : Command("formula", Access::ReadOnly, "вычислить формулу для записи: [--listing НОМЕР] ФОРМУЛА",
                  "formula [--listing НОМЕР] [--] ФОРМУЛА")
    {
    }
    QList<QCommandLineOption> Options() const override { return {m_listing}; }
    bool TakesOperands() const override { return true; }
    bool DashOperands() const override { return true; }
    ExitCode Run(CliContext& ctx) const override;

private:
    const QCommandLineOption m_listing{QStringLiteral("listing"),
                                       QStringLiteral("номер записи, от 1 (по умолчанию 1)"),
                                       QStringLiteral("НОМЕР")};
};

ExitCode Formula::Run(CliContext& ctx) const
{
    int position = 1;
    if (ctx.parser.isSet(m_listing)) {
        bool ok = false;
        position = ctx.parser.value(m_listing).toInt(&ok);
        if (!ok) {
            ctx.err << "Номер записи должен быть целым числом\n";
            return ExitCode::Usage;
        }
    }
    const QStringList formulas = ctx.parser.positionalArguments();
    if (formulas.size() != 1) return UsageError(ctx, QString());
    const QString formula = formulas.first();
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;
    const int count = program.Records.Items.Count();
    if (position < 1 || position > count) {
        ctx.err << "Нет записи с номером " << position << " (в базе " << count << ")\n";
        return ExitCode::LoadFailed;
    }
    bool ok = false;
    QString reason;
    const float value = EvaluateFormula(*program.Records.Items.Item(position), formula, ok, program.Knowledge,
                                        program.Engine(), &reason);
    if (!ok) {
        ctx.out << "ERROR: " << reason << '\n';
        return ExitCode::FormulaFailed;
    }
    ctx.out << text::NumberText(value) << '\n';
    return ExitCode::Ok;
}

} // namespace

const Command& FormulaCommand()
{
    static const Formula command;
    return command;
}
