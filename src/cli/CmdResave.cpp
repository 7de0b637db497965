// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "platform/Errors.h"
#include "program/Program.h"

namespace {

class Resave final : public Command
{
public:
    Resave()
        : Command("resave", Access::Writes,
                  "загрузить и снова сохранить оба файла, как запуск и закрытие программы", "resave")
    {
    }

    ExitCode Run(CliContext& ctx) const override;
};

ExitCode Resave::Run(CliContext& ctx) const
{
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;
    ExitCode code = ExitCode::Ok;
    for (bool database : {true, false}) {
        try {
            database ? program.SaveDatabase() : program.SaveKnowledge();
        } catch (const VestranaError& e) {
            ctx.err << "Ошибка сохранения: " << e.message() << "\n";
            code = ExitCode::SaveFailed;
        }
    }
    return code;
}

} // namespace

const Command& ResaveCommand()
{
    static const Resave command;
    return command;
}
