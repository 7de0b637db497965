// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// The re-index over generated listings: a first run that meets every text
// anew (near-unique addresses and descriptions), and a second run that only
// looks texts up.

#include "BenchListings.h"
#include "editing/Reindex.h"

#include <QDir>

#include <benchmark/benchmark.h>

namespace {

void ClearValues(Program& program)
{
    for (auto& list : program.Knowledge.AttributeValueLists)
        list.Clear();
}

qint64 ValueCount(const Program& program)
{
    qint64 total = 0;
    for (const auto& list : program.Knowledge.AttributeValueLists)
        total += list.Count();
    return total;
}

void BM_ReindexFirstRun(benchmark::State& state)
{
    Program program(QDir::tempPath());
    bench::SampleKinds(program);
    bench::FillRecords(program, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        ClearValues(program);
        state.ResumeTiming();
        benchmark::DoNotOptimize(Normalize(program));
    }
    state.counters["values"] = static_cast<double>(ValueCount(program));
    state.counters["addresses"] = program.Knowledge.AttributeValueLists[field::Address].Count();
    state.counters["descriptions"] = program.Knowledge.AttributeValueLists[field::Description].Count();
}

void BM_ReindexNothingNew(benchmark::State& state)
{
    Program program(QDir::tempPath());
    bench::SampleKinds(program);
    bench::FillRecords(program, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(Normalize(program));
    for (auto _ : state)
        benchmark::DoNotOptimize(Normalize(program));
}

} // namespace

BENCHMARK(BM_ReindexFirstRun)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReindexNothingNew)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
