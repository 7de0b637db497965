// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "cli/Cli.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QTextStream>

#include <memory>
#include <vector>

class Program;

// What a command gets: the data folder, its parsed options and the streams.
struct CliContext
{
    QString dataDir;
    const QCommandLineParser& parser;
    QTextStream& out;
    QTextStream& err;
    // Whether the command writes the data files (and holds the folder's lock);
    // one that does not creates no missing file either.
    bool writes = false;
    // Made by NewProgram; RunCli decides what becomes of it (ProgramMemory).
    std::unique_ptr<Program> program;
};

// Whether a command may write the data files: such a command holds the data
// folder's lock while it runs, and one that only reads must create nothing.
enum class Access { ReadOnly, Writes };

// One command of the tool: its word, its line in the list of commands, its
// usage line and its options. RunCli adds -h/--help to every command and
// answers it before anything is loaded.
class Command
{
public:
    Command(const char* name, Access access, const char* summary, const char* synopsis);
    virtual ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    QString Name() const;
    bool Writes() const { return m_access == Access::Writes; }
    // The line of the command in the tool's list of commands.
    QString Summary() const;
    // "search [--explain | ...]": the usage line after the tool's name.
    QString Synopsis() const;

    // The command's options, in the order its help lists them.
    virtual QList<QCommandLineOption> Options() const { return {}; }
    // Whether the command takes operands; one that does not refuses them.
    virtual bool TakesOperands() const { return false; }
    // Whether an argument with a single dash is an operand, not an option: a
    // formula may start with a minus (formula -3^2).
    virtual bool DashOperands() const { return false; }

    virtual ExitCode Run(CliContext& ctx) const = 0;

    // The command's help: usage, summary, options.
    QString Help() const;
    // Prints a wrong use (a message naming the argument) and the usage line.
    ExitCode UsageError(CliContext& ctx, const QString& message) const;

private:
    const char* m_name;
    Access m_access;
    const char* m_summary;
    const char* m_synopsis;
};

// Every command, in the order the tool lists them.
const std::vector<const Command*>& Commands();

// The commands, one file each.
const Command& DedupeCommand();
const Command& DemoSiteCommand();
const Command& FormulaCommand();
const Command& ImportCommand();
const Command& InfoCommand();
const Command& RecodeCommand();
const Command& ReindexCommand();
const Command& RepairCommand();
const Command& ResaveCommand();
const Command& SearchCommand();

// The command's program over ctx.dataDir; one per command.
Program& NewProgram(CliContext& ctx);

// Loads both data files into `program` as a start of the program would. On a
// failed load prints the reason and returns false; nothing may be written then.
bool LoadProgram(CliContext& ctx, Program& program);
