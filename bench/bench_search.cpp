// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// The search run over generated listings, and the same ranking done by SQLite.
#include "BenchData.h"
#include "BenchSqlite.h"
#include "platform/Heap.h"

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

using benchsqlite::rankingQuery;
using benchsqlite::SqliteDb;
using benchsqlite::wishes;

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
    QString& formula = p.Knowledge.AttributeFormulas[field::StopDistance];
    const QString sample = formula;
    if (state.range(1) == 2) formula = kTextFormula;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SearchRun::Run(p, w, {}));
        benchmark::DoNotOptimize(p.FoundList.size());
    }
    formula = sample;
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
    const std::vector<int> ours = benchsqlite::FoundPositions(p);
    const std::vector<int> theirs = benchsqlite::TopPositions(st);
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
    heap::PrepareForLargeData(); // as the programs do
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
