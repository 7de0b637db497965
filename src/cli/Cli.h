// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

class Program;

// What every command of the headless tool gets: its own arguments (after the
// command word) and the streams. Output is UTF-8.
struct CliContext
{
    QString dataDir;
    QStringList args;
    QTextStream& out;
    QTextStream& err;
    // Whether the command writes the data files (and holds the folder's lock);
    // one that does not creates no missing file either.
    bool writes = false;
};

// A command's arguments split at the first "--": what follows it are operands,
// never options, so a formula may start with "-" (formula -- -3^2).
struct CliArgs
{
    QStringList options;
    QStringList operands;
    bool help = false; // "--help" (or "-h") among the options
};
CliArgs SplitOptions(const QStringList& args);

// The command's program over ctx.dataDir; one per process, left to the
// process's end (its memory goes back with the process).
Program& NewProgram(CliContext& ctx);

// Loads both data files into `program` as a start of the program would. On a
// failed load prints the reason and returns false; nothing may be written then.
bool LoadProgram(CliContext& ctx, Program& program);

// Each command returns the process exit code.
int CmdInfo(CliContext& ctx);
int CmdResave(CliContext& ctx);
int CmdReindex(CliContext& ctx);
int CmdSearch(CliContext& ctx);
int CmdFormula(CliContext& ctx);
int CmdImport(CliContext& ctx);
int CmdDemoSite(CliContext& ctx);
int CmdDedupe(CliContext& ctx);
int CmdRecode(CliContext& ctx);
int CmdRepair(CliContext& ctx);
