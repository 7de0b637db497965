// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "editing/Reindex.h"
#include "platform/Errors.h"
#include "program/Program.h"

namespace {

class Reindex final : public Command
{
public:
    Reindex()
        : Command("reindex", Access::Writes, "индексирование базы данных с сохранением knows.txt", "reindex")
    {
    }
    ExitCode Run(CliContext& ctx) const override;
};

ExitCode Reindex::Run(CliContext& ctx) const
{
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;

    qint64 added = 0;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        added -= program.Knowledge.AttributeValueLists[field::At(k)].Count();

    // A line per tenth of the way: enough to see it move, little enough for a log.
    int shownTenth = -1;
    RunContext run;
    run.progress = [&ctx](const QString& text) {
        ctx.err << text << '\n';
        ctx.err.flush();
    };
    run.steps = [&](qint64 maximum, qint64 value) {
        const int tenth = static_cast<int>(value * 10 / maximum);
        if (tenth == shownTenth) return;
        shownTenth = tenth;
        ctx.err << tenth * 10 << "%\n";
        ctx.err.flush();
    };
    // Nothing here asks the re-index to stop, so it always runs to its end.
    [[maybe_unused]] const bool completed = Normalize(program, run);
    if (shownTenth >= 0 && shownTenth < 10) ctx.err << "100%\n";

    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        added += program.Knowledge.AttributeValueLists[field::At(k)].Count();
    try {
        program.SaveKnowledge();
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения: " << e.message() << "\nФайл knows.txt не изменён.\n";
        return ExitCode::SaveFailed;
    }
    ctx.out << "Индексирование завершено: записей " << program.Records.Items.Count() << ", новых значений "
            << added << ".\n";
    return ExitCode::Ok;
}

} // namespace

const Command& ReindexCommand()
{
    static const Reindex command;
    return command;
}
