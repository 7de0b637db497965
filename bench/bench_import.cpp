// The import: reading the demo site's pages (decode, parse, read the rows and
// the detail tables) and a whole run over the demo site on 127.0.0.1.
//
//   bench_import --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include "import/DemoSite.h"
#include "import/ImportRun.h"
#include "import/PageReader.h"
#include "platform/PageLoader.h"
#include "platform/TextFile.h"
#include "search/Program.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <benchmark/benchmark.h>

namespace {

constexpr int kPageSize = 50;

// A page as it comes over the wire: windows-1251 bytes.
QByteArray wire(const QString& html)
{
    return textfile::ToCp1251(html);
}

const QUrl kListUrl(QStringLiteral("http://127.0.0.1:8808/index.php?page=1"));

// A list page of 50 rows: decoded, parsed, every row read with its link.
void BM_ListPage(benchmark::State& state)
{
    const DemoSite site({.pageSize = kPageSize});
    const QByteArray bytes = wire(site.ListPage(1));
    int rows = 0;
    for (auto _ : state) {
        const HtmlDocument doc = HtmlDocument::parse(PageLoader::decodeHtml(bytes, "text/html"), kListUrl);
        rows = 0;
        for (const HtmlElement& row : FindListingRows(doc)) {
            benchmark::DoNotOptimize(ReadListingRow(row));
            benchmark::DoNotOptimize(FindDetailLink(row));
            ++rows;
        }
    }
    if (rows != kPageSize) state.SkipWithError("wrong number of listing rows");
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["KiB/page"] = double(bytes.size()) / 1024.0;
}

// The same page decoded and parsed only: what the page reader adds is the difference.
void BM_ListPageParseOnly(benchmark::State& state)
{
    const DemoSite site({.pageSize = kPageSize});
    const QByteArray bytes = wire(site.ListPage(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(HtmlDocument::parse(PageLoader::decodeHtml(bytes, "text/html"), kListUrl));
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The 50 detail pages of that list page.
void BM_DetailPages(benchmark::State& state)
{
    const DemoSite site({.pageSize = kPageSize});
    QList<QByteArray> pages;
    for (int i = 0; i < kPageSize; ++i)
        pages << wire(site.DetailPage(i));
    Record r;
    for (auto _ : state) {
        for (const QByteArray& bytes : pages) {
            const HtmlDocument doc =
                HtmlDocument::parse(PageLoader::decodeHtml(bytes, "text/html"), kListUrl);
            ReadDetailPage(doc, r);
        }
    }
    if (r.GetRecord(0).isEmpty()) state.SkipWithError("detail page not read");
    state.counters["pages/s"] =
        benchmark::Counter(double(state.iterations()) * kPageSize, benchmark::Counter::kIsRate);
}

// A whole run over a demo site of 1,000 listings served from its own thread,
// as a remote site would be: the share of the run spent outside the waits for
// pages is what our side costs (parsing, reading, the log).
void BM_ImportRun(benchmark::State& state)
{
    const int count = int(state.range(0));
    QThread server;
    server.start();
    auto* site = new DemoSite({.count = count, .pageSize = kPageSize});
    site->moveToThread(&server);
    bool listening = false;
    QMetaObject::invokeMethod(
        site, [&] { listening = site->Listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        state.SkipWithError("demo site could not listen");
        return;
    }
    const QString address = site->Address();

    Program program(QDir::tempPath());
    ImportResult last;
    double elapsed = 0, waiting = 0, pages = 0, lines = 0;
    for (auto _ : state) {
        program.Records.Clear();
        LoaderPageSource source;
        ImportHooks hooks;
        hooks.log = [&lines](const QString&) { ++lines; };
        last = SyncStart(program, address, source, hooks);
        elapsed += double(last.elapsedNs);
        waiting += double(last.waitingNs);
        pages += double(last.pages + 1 + last.taken); // start, list and detail pages
    }
    if (!last.completed || last.taken != count) state.SkipWithError("run did not complete");
    state.counters["listings/s"] =
        benchmark::Counter(double(count) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pages/s"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
    state.counters["parse %"] = 100.0 * (elapsed - waiting) / elapsed;
    state.counters["wait %"] = 100.0 * waiting / elapsed;

    QMetaObject::invokeMethod(
        site, [site] { delete site; }, Qt::BlockingQueuedConnection);
    server.quit();
    server.wait();
}

} // namespace

BENCHMARK(BM_ListPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListPageParseOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DetailPages)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImportRun)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
