// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// Writes, for a data folder of database.txt and knows.txt, what the sqlite3 shell
// needs to run the search of bench_search's wishes from files at rest:
//   bench_sqlite DATADIR OUTDIR
// OUTDIR gets listings.db (the listings ready for the query, as bench_search's
// in-memory table), query.sql (that query) and rows.tsv (line N: the result cells
// of listing N without the score, to compare the shell's positions with the
// program's result rows). Prints whether the program and SQLite rank the same top 10.

#include "BenchSqlite.h"

#include "platform/Errors.h"
#include "store/Fields.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: bench_sqlite DATADIR OUTDIR\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(out.path());
    try {
        Program p(QString::fromLocal8Bit(argv[1]));
        p.StartUp(true);
        const QString dbPath = out.filePath(QStringLiteral("listings.db"));
        QFile::remove(dbPath);
        benchsqlite::SqliteDb db(p, dbPath.toLocal8Bit().constData());
        const std::string sql = benchsqlite::rankingQuery(p, false);
        {
            QFile q(out.filePath(QStringLiteral("query.sql")));
            if (!q.open(QIODevice::WriteOnly)) return 1;
            q.write(sql.c_str());
            q.write(";\n");
        }
        {
            QFile rows(out.filePath(QStringLiteral("rows.tsv")));
            if (!rows.open(QIODevice::WriteOnly)) return 1;
            for (const RecordPtr& r : p.Records.Items) {
                QStringList cells = SearchRun::ResultCells(*r);
                cells.removeLast(); // the score
                for (QString& c : cells)
                    for (QChar& ch : c)
                        if (ch == u'\t' || ch == u'\n' || ch == u'\r') ch = u' ';
                rows.write((cells.join(u'\t') + u'\n').toUtf8());
            }
        }
        [[maybe_unused]] const bool completed =
            SearchRun::Run(p, benchsqlite::wishes(false), {}); // nothing stops it
        const std::vector<int> ours = benchsqlite::FoundPositions(p);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db.db, sql.c_str(), -1, &st, nullptr);
        const std::vector<int> theirs = benchsqlite::TopPositions(st);
        sqlite3_finalize(st);
        auto list = [](const std::vector<int>& v) {
            std::string s;
            for (int i : v) {
                if (!s.empty()) s += ' ';
                s += std::to_string(i);
            }
            return s;
        };
        std::printf("program top 10: %s\nsqlite  top 10: %s\nsame_top10=%d\n", list(ours).c_str(),
                    list(theirs).c_str(), ours == theirs ? 1 : 0);
        return ours == theirs ? 0 : 1;
    } catch (const VestranaError& e) {
        std::fputs((e.message() + u'\n').toLocal8Bit().constData(), stderr);
        return 1;
    }
}
