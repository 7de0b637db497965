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

// Fourteen wishes, one per box; StopDistance is the formula attribute of the sample.
inline SearchRun::Wishes wishes(bool formula)
{
    SearchRun::Wishes w;
    w[field::District] = QStringLiteral("Соборный");
    w[field::Rooms] = QStringLiteral("2");
    w[field::Floor] = QStringLiteral("4");
    w[field::HouseType] = QStringLiteral("кирпичный");
    w[field::Address] = QStringLiteral("ул. Садовая, д. 1");
    w[field::Price] = QStringLiteral("3000");
    w[field::TotalArea] = QStringLiteral("54");
    w[field::LivingArea] = QStringLiteral("32");
    w[field::KitchenArea] = QStringLiteral("8");
    w[field::Stop] = QStringLiteral("Рынок");
    w[field::StopDistance] = formula ? QStringLiteral("90") : QString();
    w[field::Bathroom] = QStringLiteral("раздельный");
    w[field::Telephone] = QStringLiteral("есть");
    w[field::Agency] = QStringLiteral("Лестница");
    return w;
}

// The attributes rated by value, each with a table of its values' scores.
inline constexpr field::Field kRated[] = {field::District, field::HouseType, field::Bathroom,
                                          field::Telephone};

// A field's column (f<n>) or value table (v<n>) is named by its position.
inline std::string number(field::Field f)
{
    return std::to_string(field::Index(f));
}

inline bool storedAsNumber(field::Field f)
{
    switch (f) {
    case field::Rooms:
    case field::Floor:
    case field::Price:
    case field::TotalArea:
    case field::LivingArea:
    case field::KitchenArea:
    case field::StopDistance:
        return true;
    default:
        return false;
    }
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
        for (field::Field k : kRated)
            exec(("CREATE TABLE v" + number(k) + "(value TEXT PRIMARY KEY, score REAL)").c_str());
        exec("BEGIN");
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO l VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr);
        int pos = 0;
        for (const RecordPtr& r : p.Records.Items) {
            sqlite3_bind_int(ins, 1, ++pos);
            for (field::Field k : field::AttributeFields) {
                if (k > fieldinfo::LastWished) break;
                const QString f = r->GetRecord(k);
                const int column = field::Index(k) + 2;
                if (storedAsNumber(k))
                    sqlite3_bind_double(ins, column, text::Val(f));
                else {
                    const bool folded = k == field::Address || k == field::Stop || k == field::Agency;
                    const QByteArray u = (folded ? text::Folded(f) : f).toUtf8();
                    sqlite3_bind_text(ins, column, u.constData(), int(u.size()), SQLITE_TRANSIENT);
                }
            }
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        for (field::Field k : kRated) {
            const AttributeValueList& list = p.Knowledge.AttributeValueLists[k];
            sqlite3_stmt* v = nullptr;
            sqlite3_prepare_v2(db, ("INSERT OR IGNORE INTO v" + number(k) + " VALUES(?,?)").c_str(), -1, &v,
                               nullptr);
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
    auto num = [&](field::Field k, const char* wish) {
        const double lo = kb.AttributeMin[k], hi = kb.AttributeMax[k];
        const double r = std::fabs(hi - lo);
        return cat({"(", std::to_string(r), " - abs(f", number(k), " - ", wish, ")) * 100.0 / ",
                    std::to_string(r == 0 ? 1 : r)});
    };
    auto val = [&](field::Field k, const char* wish) {
        return cat({"(100 - abs(coalesce((SELECT score FROM v", number(k), " WHERE value = f", number(k),
                    "), 0) - ", wish, "))"});
    };
    auto ord = [&](field::Field k, const char* wish) {
        return cat({"(CASE WHEN f", number(k), " = '", wish, "' THEN 100 ELSE 0 END)"});
    };
    // The wishes of wishes() above, value-scored ones replaced by their scores
    // in the sample knowledge base (Соборный 90, кирпичный 80, раздельный 70, есть 70).
    // The three attributes after the boxes are never wished for: 100 each.
    const std::string distance =
        formula ? cat({"(100 - abs((100 - f", number(field::StopDistance), " / 20) - 90))"})
                : std::string("100");
    const std::string sum = cat({val(field::District, "90"),
                                 "+",
                                 num(field::Rooms, "2"),
                                 "+",
                                 num(field::Floor, "4"),
                                 "+",
                                 val(field::HouseType, "80"),
                                 "+",
                                 ord(field::Address, "ул. садовая, д. 1"),
                                 "+",
                                 num(field::Price, "3000"),
                                 "+",
                                 num(field::TotalArea, "54"),
                                 "+",
                                 num(field::LivingArea, "32"),
                                 "+",
                                 num(field::KitchenArea, "8"),
                                 "+",
                                 ord(field::Stop, "рынок"),
                                 "+",
                                 distance,
                                 "+",
                                 val(field::Bathroom, "70"),
                                 "+",
                                 val(field::Telephone, "70"),
                                 "+",
                                 ord(field::Agency, "лестница"),
                                 "+300"});
    return cat({"SELECT pos, (", sum, ") / ", std::to_string(field::Attributes),
                ".0 AS so FROM l ORDER BY so DESC, pos LIMIT 10"});
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
