// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once
// The search of bench_search's wishes as one SQLite query, shared by bench_search
// (in memory) and bench_sqlite (a database file for the sqlite3 shell).

#include "platform/Text.h"
#include "program/Program.h"
#include "search/SearchRun.h"

#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

namespace benchsqlite {

// Fourteen wishes, one per box; slot 10 is the formula attribute of the sample.
inline SearchRun::Wishes wishes(bool formula)
{
    SearchRun::Wishes w;
    w[0] = QStringLiteral("Соборный");
    w[1] = QStringLiteral("2");
    w[2] = QStringLiteral("4");
    w[3] = QStringLiteral("кирпичный");
    w[4] = QStringLiteral("ул. Садовая, д. 1");
    w[5] = QStringLiteral("3000");
    w[6] = QStringLiteral("54");
    w[7] = QStringLiteral("32");
    w[8] = QStringLiteral("8");
    w[9] = QStringLiteral("Рынок");
    w[10] = formula ? QStringLiteral("90") : QString();
    w[11] = QStringLiteral("раздельный");
    w[12] = QStringLiteral("есть");
    w[13] = QStringLiteral("Лестница");
    return w;
}

// The same scores as one SQL query over an in-memory table: numbers and folded
// texts are stored ready for the query, so only the ranking itself is timed.
struct SqliteDb
{
    sqlite3* db = nullptr;
    explicit SqliteDb(Program& p, const char* file = ":memory:")
    {
        sqlite3_open(file, &db);
        exec("CREATE TABLE l(pos INTEGER PRIMARY KEY, f0 TEXT, f1 REAL, f2 REAL, f3 TEXT, f4 TEXT, f5 REAL, "
             "f6 REAL,"
             " f7 REAL, f8 REAL, f9 TEXT, f10 REAL, f11 TEXT, f12 TEXT, f13 TEXT)");
        for (int k : {0, 3, 11, 12})
            exec(("CREATE TABLE v" + std::to_string(k) + "(value TEXT PRIMARY KEY, score REAL)").c_str());
        exec("BEGIN");
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO l VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr);
        int pos = 0;
        for (const RecordPtr& r : p.Records.Items) {
            sqlite3_bind_int(ins, 1, ++pos);
            for (int k = 0; k <= 13; ++k) {
                const QString f = r->GetRecord(k);
                if (k == 1 || k == 2 || (k >= 5 && k <= 8) || k == 10)
                    sqlite3_bind_double(ins, k + 2, text::Val(f));
                else {
                    const QByteArray u = (k == 4 || k == 9 || k == 13 ? text::Folded(f) : f).toUtf8();
                    sqlite3_bind_text(ins, k + 2, u.constData(), int(u.size()), SQLITE_TRANSIENT);
                }
            }
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        for (int k : {0, 3, 11, 12}) {
            const AttributeValueList& list = p.Knowledge.AttributeValueLists[static_cast<size_t>(k)];
            sqlite3_stmt* v = nullptr;
            sqlite3_prepare_v2(db, ("INSERT OR IGNORE INTO v" + std::to_string(k) + " VALUES(?,?)").c_str(),
                               -1, &v, nullptr);
            for (int i = 0; i < list.Count(); ++i) {
                const QByteArray u = list.Values()[i].toUtf8();
                sqlite3_bind_text(v, 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
                sqlite3_bind_double(v, 2, text::Val(list.Scores()[i]));
                sqlite3_step(v);
                sqlite3_reset(v);
            }
            sqlite3_finalize(v);
        }
        exec("COMMIT");
    }
    ~SqliteDb() { sqlite3_close(db); }
    void exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
};

// Joins pieces (one append each; long chains of operator+ upset GCC 12's -Wrestrict).
inline std::string cat(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view part : parts)
        out.append(part);
    return out;
}

inline std::string rankingQuery(Program& p, bool formula)
{
    const KnowledgeBase& kb = p.Knowledge;
    auto num = [&](int k, const char* wish) {
        const double lo = kb.AttributeMin[static_cast<size_t>(k)],
                     hi = kb.AttributeMax[static_cast<size_t>(k)];
        const double r = std::fabs(hi - lo);
        return cat({"(", std::to_string(r), " - abs(f", std::to_string(k), " - ", wish, ")) * 100.0 / ",
                    std::to_string(r == 0 ? 1 : r)});
    };
    auto val = [&](int k, const char* wish) {
        return cat({"(100 - abs(coalesce((SELECT score FROM v", std::to_string(k), " WHERE value = f",
                    std::to_string(k), "), 0) - ", wish, "))"});
    };
    auto ord = [&](int k, const char* wish) {
        return cat({"(CASE WHEN f", std::to_string(k), " = '", wish, "' THEN 100 ELSE 0 END)"});
    };
    // The wishes of wishes() above, value-scored ones replaced by their scores
    // in the sample knowledge base (Соборный 90, кирпичный 80, раздельный 70, есть 70).
    const std::string sum = cat({val(0, "90"),
                                 "+",
                                 num(1, "2"),
                                 "+",
                                 num(2, "4"),
                                 "+",
                                 val(3, "80"),
                                 "+",
                                 ord(4, "ул. садовая, д. 1"),
                                 "+",
                                 num(5, "3000"),
                                 "+",
                                 num(6, "54"),
                                 "+",
                                 num(7, "32"),
                                 "+",
                                 num(8, "8"),
                                 "+",
                                 ord(9, "рынок"),
                                 "+",
                                 formula ? "(100 - abs((100 - f10 / 20) - 90))" : "100",
                                 "+",
                                 val(11, "70"),
                                 "+",
                                 val(12, "70"),
                                 "+",
                                 ord(13, "лестница"),
                                 "+300"});
    return cat({"SELECT pos, (", sum, ") / 17.0 AS so FROM l ORDER BY so DESC, pos LIMIT 10"});
}

// The 1-based positions of the program's found listings, best first.
inline std::vector<int> FoundPositions(Program& p)
{
    std::vector<int> out;
    for (const RecordPtr& r : p.FoundList)
        for (int i = 1; i <= p.Records.Items.Count(); ++i)
            if (p.Records.Items.Item(i) == r) {
                out.push_back(i);
                break;
            }
    return out;
}

// The positions the ranking statement gives (its first column); the statement is reset.
inline std::vector<int> TopPositions(sqlite3_stmt* st)
{
    std::vector<int> out;
    while (sqlite3_step(st) == SQLITE_ROW)
        out.push_back(sqlite3_column_int(st, 0));
    sqlite3_reset(st);
    return out;
}

} // namespace benchsqlite
