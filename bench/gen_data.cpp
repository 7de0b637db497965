// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// Writes OUTDIR/database.txt and OUTDIR/knows.txt of the sample market, so that
// the shipped sample and the benchmark inputs come from one reproducible source.

#include "platform/Errors.h"
#include "program/Program.h"
#include "sample/ListingGenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace {

int Usage()
{
    std::fputs(QStringLiteral("Использование: vestrana-gendata [--count N] [--seed S] ПАПКА\n")
                   .toLocal8Bit()
                   .constData(),
               stderr);
    return 2;
}

bool ReadNumber(const char* text, quint64 max, quint64& out)
{
    bool ok = false;
    out = QString::fromLocal8Bit(text).toULongLong(&ok);
    return ok && out <= max;
}

} // namespace

int main(int argc, char** argv)
{
    quint64 count = 300;
    quint64 seed = 2008;
    QString outDir;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--count" && i + 1 < argc) {
            if (!ReadNumber(argv[++i], Q_UINT64_C(100000000), count)) return Usage();
        } else if (arg == "--seed" && i + 1 < argc) {
            if (!ReadNumber(argv[++i], 0xFFFFFFFFu, seed)) return Usage();
        } else if (arg.startsWith("--") || !outDir.isEmpty()) {
            return Usage();
        } else {
            outDir = QString::fromLocal8Bit(arg);
        }
    }
    if (outDir.isEmpty()) return Usage();

    try {
        QElapsedTimer timer;
        timer.start();
        const QDir dir(outDir);
        // Built in memory and written by the program's own writers, so the
        // files are exactly what the program would save for this market.
        Program program{dir.path()};
        sample::BuildSampleMarket(program, count, quint32(seed));
        const qint64 buildMs = timer.restart();
        program.Records.SaveToFile(dir.filePath(QStringLiteral("database.txt")));
        program.Knowledge.SaveKnowledge(dir.filePath(QStringLiteral("knows.txt")));
        std::fprintf(stderr, "%llu listings: built in %lld ms, written in %lld ms\n",
                     static_cast<unsigned long long>(count), static_cast<long long>(buildMs),
                     static_cast<long long>(timer.elapsed()));
    } catch (const VestranaError& e) {
        std::fputs((e.message() + u'\n').toLocal8Bit().constData(), stderr);
        return 1;
    }
    return 0;
}
