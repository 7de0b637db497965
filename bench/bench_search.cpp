// The search run over generated listings, and the same ranking done by SQLite.
#include "BenchData.h"

#include "platform/Text.h"
#include "search/SearchRun.h"

#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

namespace {

// Fourteen wishes, one per box; slot 10 is the formula attribute of the sample.
SearchRun::Wishes wishes(bool formula)
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

// The sample's distance formula, plus string and date functions on the
// address and the date of each listing.
const QString kTextFormula = QStringLiteral(
    "100 - Расстояние до остановки / 20 + 5 * (InStr(Replace(\"Адрес\", \"ул. \", \"\"), \"Садовая\") > 0)"
    " - 3 * (CDate(\"Дата\") < #01.09.2026#)");

// range(1): 0 no formula wish, 1 the sample's formula, 2 the formula with text functions.
void BM_Search(benchmark::State& state)
{
    Program& p = benchdata::Started(static_cast<int>(state.range(0)));
    const auto w = wishes(state.range(1) != 0);
    QString& formula = p.Knowledge.AttributeFormulas[10];
    const QString sample = formula;
    if (state.range(1) == 2) formula = kTextFormula;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SearchRun::Run(p, w, {}));
        benchmark::DoNotOptimize(p.FoundList.size());
    }
    formula = sample;
}

// The same scores as one SQL query over an in-memory table: numbers and folded
// texts are stored ready for the query, so only the ranking itself is timed.
struct SqliteDb
{
    sqlite3* db = nullptr;
    explicit SqliteDb(Program& p)
    {
        sqlite3_open(":memory:", &db);
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
std::string cat(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view part : parts)
        out.append(part);
    return out;
}

std::string rankingQuery(Program& p, bool formula)
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

void BM_SqliteRanking(benchmark::State& state)
{
    Program& p = benchdata::Started(static_cast<int>(state.range(0)));
    static std::map<int, std::unique_ptr<SqliteDb>> dbs;
    auto& db = dbs[static_cast<int>(state.range(0))];
    if (!db) db = std::make_unique<SqliteDb>(p);
    const std::string sql = rankingQuery(p, state.range(1) != 0);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db->db, sql.c_str(), -1, &st, nullptr);
    // Both rank the same listings: compare the positions once.
    benchmark::DoNotOptimize(SearchRun::Run(p, wishes(state.range(1) != 0), {}));
    std::vector<int> ours;
    for (const RecordPtr& r : p.FoundList)
        for (int i = 1; i <= p.Records.Items.Count(); ++i)
            if (p.Records.Items.Item(i) == r) {
                ours.push_back(i);
                break;
            }
    std::vector<int> theirs;
    while (sqlite3_step(st) == SQLITE_ROW)
        theirs.push_back(sqlite3_column_int(st, 0));
    sqlite3_reset(st);
    state.counters["same_top10"] = ours == theirs ? 1 : 0;
    for (auto _ : state) {
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            ++rows;
        sqlite3_reset(st);
        benchmark::DoNotOptimize(rows);
    }
    sqlite3_finalize(st);
}

} // namespace

BENCHMARK(BM_Search)
    ->ArgsProduct({{100000, 1000000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SqliteRanking)
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
