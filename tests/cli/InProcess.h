// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "cli/Cli.h"
#include "support/ProcessRun.h"

#include <QTextStream>

// Runs a command line of the console tool in this process, as its main()
// would, with stdout and stderr caught in texts.
inline testsupport::RunResult RunInProcess(const QStringList& args)
{
    testsupport::RunResult r;
    {
        QTextStream out(&r.out);
        QTextStream err(&r.err);
        r.code = static_cast<int>(RunCli(args, out, err));
    }
    return r;
}
