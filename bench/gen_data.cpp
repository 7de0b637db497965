// Writes OUTDIR/database.txt and OUTDIR/knows.txt of the sample market, so that
// the shipped sample and the benchmark inputs come from one reproducible source.

#include "platform/Errors.h"
#include "platform/TextFile.h"
#include "store/ListingGenerator.h"

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
            if (!ReadNumber(argv[++i], Q_UINT64_C(100000000), count))
                return Usage();
        } else if (arg == "--seed" && i + 1 < argc) {
            if (!ReadNumber(argv[++i], 0xFFFFFFFFu, seed))
                return Usage();
        } else if (arg.startsWith("--") || !outDir.isEmpty()) {
            return Usage();
        } else {
            outDir = QString::fromLocal8Bit(arg);
        }
    }
    if (outDir.isEmpty())
        return Usage();

    try {
        QElapsedTimer timer;
        timer.start();
        const QDir dir(outDir);
        // The database is streamed: a million listings never sit in memory at once.
        textfile::AtomicWriter database(dir.filePath(QStringLiteral("database.txt")));
        for (quint64 i = 0; i < count; ++i)
            database.WriteLine(sample::DatabaseLine(sample::GenerateListing(i, quint32(seed))));
        database.Commit();
        const qint64 databaseMs = timer.restart();

        textfile::AtomicWriter knows(dir.filePath(QStringLiteral("knows.txt")));
        for (const QString& line : sample::SampleKnowledgeLines(count, quint32(seed)))
            knows.WriteLine(line);
        knows.Commit();
        std::fprintf(stderr, "%llu listings: database.txt %lld ms, knows.txt %lld ms\n",
                     static_cast<unsigned long long>(count), static_cast<long long>(databaseMs),
                     static_cast<long long>(timer.elapsed()));
    } catch (const VestranaError& e) {
        std::fputs((e.message() + u'\n').toLocal8Bit().constData(), stderr);
        return 1;
    }
    return 0;
}
