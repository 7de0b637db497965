// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "platform/Text.h"
#include "program/Program.h"

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
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const auto s = static_cast<size_t>(k);
        ctx.out << k << '\t' << kb.AttributeNames[s] << '\t' << kb.AttributeKinds[s].Text() << '\t'
                << kb.AttributeValueLists[s].Count() << '\t' << text::GeneralNumber(kb.AttributeMin[s])
                << '\t' << text::GeneralNumber(kb.AttributeMax[s]) << '\n';
    }
    return ExitCode::Ok;
}

} // namespace

const Command& InfoCommand()
{
    static const Info command;
    return command;
}
