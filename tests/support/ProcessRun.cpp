// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "support/ProcessRun.h"

#include <QProcess>

namespace testsupport {

QStringList RunResult::OutLines() const
{
    return out.split(u'\n', Qt::SkipEmptyParts);
}

RunResult RunProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                     int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {-1, QString(), QStringLiteral("the program did not end")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -p.exitCode(),
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

RunResult RunCliProcess(const QStringList& args)
{
    return RunProcess(qEnvironmentVariable("VESTRANA_CLI"), args);
}

} // namespace testsupport
