// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QStringList>
#include <QTextStream>

// The exit codes of the headless tool; scripts rely on their numbers.
enum class ExitCode : int {
    Ok = 0,
    FormulaFailed = 1,
    LoadFailed = 2, // the data files did not load, or the data folder is missing
    SaveFailed = 3,
    ImportGaveUp = 4, // the site does not answer or gives no listings
    Usage = 64,
    FolderBusy = 75, // another process holds the data folder
    Stopped = 130,   // SIGINT or SIGTERM
};

// What becomes of a command's listings when it ends. The tool leaves them to
// the end of its process, which gives a million listings back at once, where
// freeing them one by one would take a good part of a second after the answer
// is out; a test runs many commands in one process and frees each.
enum class ProgramMemory { Freed, LeftToProcessEnd };

// The whole command line after the program's name ([--data-dir FOLDER]
// COMMAND [OPTIONS]): picks the command, parses its options, takes the data
// folder's lock for a command that writes, and runs it. Output is written to
// `out`, messages and progress to `err`.
ExitCode RunCli(const QStringList& args, QTextStream& out, QTextStream& err,
                ProgramMemory memory = ProgramMemory::Freed);
