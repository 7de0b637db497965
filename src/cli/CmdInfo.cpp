// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "platform/Text.h"
#include "program/Program.h"
#include "store/Fields.h"

#include <QDir>

namespace {

class Info final : public Command
{
public:
    Info() : Command("info", Access::ReadOnly, "число записей и атрибуты базы знаний", "info") {}

    ExitCode Run(CliContext& ctx) const override;
};

ExitCode Info::Run(CliContext& ctx) const
{
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;
    const KnowledgeBase& kb = program.Knowledge;
    ctx.out << "Папка данных: " << QDir::toNativeSeparators(ctx.dataDir) << "\n";
    ctx.out << "Записей в базе данных: " << program.Records.Items.Count() << "\n";
    ctx.out << "№\tАтрибут\tТип\tЗначений\tМинимум\tМаксимум\n";
    for (field::Field f : field::AttributeFields)
        ctx.out << field::Slot(f) << '\t' << kb.AttributeNames[f] << '\t' << kb.AttributeKinds[f].Text()
                << '\t' << kb.AttributeValueLists[f].Count() << '\t'
                << text::GeneralNumber(kb.AttributeMin[f]) << '\t' << text::GeneralNumber(kb.AttributeMax[f])
                << '\n';
    return ExitCode::Ok;
}

} // namespace

const Command& InfoCommand()
{
    static const Info command;
    return command;
}
