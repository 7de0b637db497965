// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Cli.h"

#include "platform/Heap.h"
#include "platform/Version.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    heap::PrepareForLargeData();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const ExitCode code =
        RunCli(QCoreApplication::arguments().mid(1), out, err, ProgramMemory::LeftToProcessEnd);
    out.flush();
    err.flush();
    return static_cast<int>(code);
}
