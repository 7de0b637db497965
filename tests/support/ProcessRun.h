// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Running the built programs as a user would, for the tests that need a real
// process: exit codes, what goes to stdout and what to stderr, signals, locks.
namespace testsupport {

struct RunResult
{
    // The exit code; minus the signal's number when the process crashed, -1
    // when it did not end in time (it is killed then).
    int code = -1;
    QString out;
    QString err;

    // stdout's lines, empty ones left out.
    QStringList OutLines() const;
};

// Runs `program` with `args` and `env`, waiting up to `timeoutMs` for its end.
RunResult RunProcess(const QString& program, const QStringList& args,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                     int timeoutMs = 60000);

// Runs the console tool built with the tests (VESTRANA_CLI).
RunResult RunCliProcess(const QStringList& args);

} // namespace testsupport
