// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// Loading and saving database.txt, and the memory a loaded database takes.
#include "BenchData.h"
#include "platform/Heap.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <string>

namespace {

long rssKiB(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return 0;
}

void BM_Load(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const QString path = QDir(benchdata::DataDir(n, false)).filePath(QStringLiteral("database.txt"));
    const qint64 bytes = QFileInfo(path).size();
    // Only the load is timed: freeing the listings (a quarter of a second for
    // a million) is the end of a program or of a session, not part of a load.
    for (auto _ : state) {
        auto db = std::make_unique<Records>();
        db->LoadFromFile(path);
        benchmark::DoNotOptimize(db->Items.Count());
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = double(bytes) / 1e6;
}

// A scan of the file (the search over the files at rest): decoding into
// records read into again, without allocation, so the decoding's own cost.
void BM_Scan(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const QString path = QDir(benchdata::DataDir(n, false)).filePath(QStringLiteral("database.txt"));
    const qint64 bytes = QFileInfo(path).size();
    for (auto _ : state) {
        std::atomic<qint64> listings = 0;
        Records::ScanFile(path, [&](std::span<const Record> run, qint64) { listings += qint64(run.size()); });
        benchmark::DoNotOptimize(listings.load());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Save(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const QString dir = benchdata::DataDir(n, false);
    Records db;
    db.LoadFromFile(QDir(dir).filePath(QStringLiteral("database.txt")));
    const QString out = QDir(dir).filePath(QStringLiteral("saved.txt"));
    for (auto _ : state)
        db.SaveToFile(out);
    state.SetBytesProcessed(state.iterations() * QFileInfo(out).size());
}

// knows.txt of the same market after a re-index: every field text is an
// accepted value, so its lists hold millions of texts.
void BM_LoadKnowledge(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const QString path = QDir(benchdata::DataDir(n, true)).filePath(QStringLiteral("knows.txt"));
    const qint64 bytes = QFileInfo(path).size();
    for (auto _ : state) {
        KnowledgeBase kb;
        kb.LoadKnowledge(path, false);
        benchmark::DoNotOptimize(kb.AttributeValueLists[field::Description].Count());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = double(bytes) / 1e6;
}

} // namespace

BENCHMARK(BM_LoadKnowledge)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Load)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Scan)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Save)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// bench_store --memory N: peak memory of a process that loads N listings, as a
// multiple of the file's size (the file is written first, streaming).
int memory(int n)
{
    const QString path = QDir(benchdata::DataDir(n, false)).filePath(QStringLiteral("database.txt"));
    const double bytes = double(QFileInfo(path).size());
    const long before = rssKiB("VmHWM:");
    Records db;
    db.LoadFromFile(path);
    const long peak = rssKiB("VmHWM:");
    std::printf("listings %d, file %.1f MB, peak RSS %.1f MB (before the load %.1f MB), peak / file = %.2f\n",
                n, bytes / 1e6, peak / 1024.0, before / 1024.0, peak * 1024.0 / bytes);
    return 0;
}

int main(int argc, char** argv)
{
    heap::PrepareForLargeData(); // as the programs do
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--memory") return memory(std::stoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
