// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// The import: reading the demo site's pages (decode, parse, read the rows and
// the detail tables) and a whole run over the demo site on 127.0.0.1.
//
//   bench_import --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// BM_ImportInto runs the same import into an empty database and into one of
// a million listings: finding the flats the database holds goes through a
// hash index, so a page costs the same in both ("ms/page"); the index is
// built once per run ("index ms").

#include "html/PageLoader.h"
#include "import/ImportRun.h"
#include "import/SiteLayout.h"
#include "platform/CodePage.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "sample/ListingGenerator.h"
#include "store/FlatIdentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <map>
#include <vector>

namespace {

// The pages load on the event loop of the thread that runs the import.
ImportHooks eventLoop()
{
    ImportHooks hooks;
    hooks.UseEventLoop(0);
    return hooks;
}

// The same, adding to `waitingNs` the time the run spends waiting for a page.
ImportHooks timedEventLoop(double& waitingNs)
{
    ImportHooks hooks = eventLoop();
    hooks.waitForEvents = [&waitingNs, wait = hooks.waitForEvents] {
        QElapsedTimer t;
        t.start();
        wait();
        waitingNs += double(t.nsecsElapsed());
    };
    return hooks;
}

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
    const SiteLayout& layout = *DefaultSiteLayout();
    int rows = 0;
    for (auto _ : state) {
        const HtmlDocument doc = HtmlDocument::parse(PageLoader::decodeHtml(bytes, "text/html"), kListUrl);
        rows = 0;
        for (const HtmlElement& row : layout.ListingRows(doc)) {
            benchmark::DoNotOptimize(layout.ReadListingRow(row));
            benchmark::DoNotOptimize(layout.DetailLink(row));
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
    const SiteLayout& layout = *DefaultSiteLayout();
    Record r;
    for (auto _ : state) {
        for (const QByteArray& bytes : pages) {
            const HtmlDocument doc =
                HtmlDocument::parse(PageLoader::decodeHtml(bytes, "text/html"), kListUrl);
            layout.ReadDetailPage(doc, r);
        }
    }
    if (r.GetRecord(field::District).isEmpty()) state.SkipWithError("detail page not read");
    state.counters["pages/s"] =
        benchmark::Counter(double(state.iterations()) * kPageSize, benchmark::Counter::kIsRate);
}

// Pages built to be slow to read, for the scaling of the reader: the time per
// element must stay the same as the page grows.
//
// Unknown tags under 3,400 levels of nesting, each holding a little text: the
// element text looks at what encloses every one of them.
QString deepUnknownTags(int count)
{
    QString html = QStringLiteral("<body>");
    for (int i = 0; i < 100; ++i)
        html += QStringLiteral("<table><tr><td>") + QStringLiteral("<x-a>").repeated(30);
    html += QStringLiteral("<x-b>a</x-b>").repeated(count);
    return html;
}

// Tables nested in the cells of one another, each level with some content of
// its own and a row of ten cells at the bottom.
QString nestedTables(int levels)
{
    QString html = QStringLiteral("<body>");
    for (int i = 0; i < levels; ++i)
        html += QStringLiteral("<table><tr><th>") + QStringLiteral("<span>a</span>").repeated(200);
    html += QStringLiteral("<table><tr>") + QStringLiteral("<td>1</td>").repeated(10) +
            QStringLiteral("</tr></table>");
    return html;
}

void BM_DeepUnknownTagsText(benchmark::State& state)
{
    const int count = int(state.range(0));
    const HtmlDocument doc = HtmlDocument::parse(deepUnknownTags(count), kListUrl);
    qsizetype size = 0;
    for (auto _ : state)
        size = doc.body().innerText().size();
    if (size < count) state.SkipWithError("text lost");
    state.counters["elements/s"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_NestedTablesRows(benchmark::State& state)
{
    const int levels = int(state.range(0));
    const HtmlDocument doc = HtmlDocument::parse(nestedTables(levels), kListUrl);
    const SiteLayout& layout = *DefaultSiteLayout();
    qsizetype rows = 0;
    for (auto _ : state)
        rows = layout.ListingRows(doc).size();
    if (rows != levels) state.SkipWithError("wrong number of listing rows");
    state.counters["elements/s"] =
        benchmark::Counter(double(levels) * 203, benchmark::Counter::kIsIterationInvariantRate);
}

// Loads pages through another source and writes down their addresses.
class RecordingPages : public PageSource
{
public:
    explicit RecordingPages(PageSource& pages) : m_pages(pages) {}
    QList<QUrl> loaded;

    void Load(const QUrl& url) override
    {
        loaded << url;
        m_pages.Load(url);
    }
    void Abort() override { m_pages.Abort(); }
    bool IsLoading() const override { return m_pages.IsLoading(); }
    bool Ok() const override { return m_pages.Ok(); }
    QString ErrorText() const override { return m_pages.ErrorText(); }
    QString Html() const override { return m_pages.Html(); }
    QUrl FinalUrl() const override { return m_pages.FinalUrl(); }
    void SetMinInterval(int ms) override { m_pages.SetMinInterval(ms); }

private:
    PageSource& m_pages;
};

// The same pages loaded one after the other and nothing else done: what the
// site alone takes.
qint64 fetchOnly(const QList<QUrl>& urls)
{
    LoaderPageSource source;
    QElapsedTimer t;
    t.start();
    for (const QUrl& url : urls) {
        source.Load(url);
        while (source.IsLoading())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        benchmark::DoNotOptimize(source.Html());
    }
    return t.nsecsElapsed();
}

// A whole run over a demo site of 1,000 listings served from its own thread,
// as a remote site would be, against loading the same pages without reading
// them, taken in turns. The run is held up by the site alone when the two
// take the same time; "parse %" is the share of the run that reading the
// pages adds, "busy %" the share the run's thread does not wait for a page.
// The site is this machine, so the run may ask as fast as it can (range 1 is
// the requests a second allowed, 0 for no limit).
void BM_ImportRun(benchmark::State& state)
{
    const int count = int(state.range(0));
    ImportOptions options;
    options.requestsPerSecond = double(state.range(1));
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
    double elapsed = 0, waiting = 0, fetching = 0, pages = 0;
    for (auto _ : state) {
        program.Records.Clear();
        LoaderPageSource loader;
        RecordingPages source(loader);
        QElapsedTimer run;
        run.start();
        last = SyncStart(program, address, source, timedEventLoop(waiting), options);
        const qint64 runNs = run.nsecsElapsed();
        state.SetIterationTime(double(runNs) / 1e9);
        elapsed += double(runNs);
        pages += double(source.loaded.size());
        fetching += double(fetchOnly(source.loaded));
    }
    if (!last.completed || last.taken != count) state.SkipWithError("run did not complete");
    const double n = double(state.iterations());
    state.counters["listings/s"] = double(count) * n / (elapsed / 1e9);
    state.counters["pages/s"] = pages / (elapsed / 1e9);
    state.counters["fetch ms"] = fetching / n / 1e6;
    state.counters["run/fetch"] = elapsed / fetching;
    state.counters["parse %"] = 100.0 * (elapsed - fetching) / elapsed;
    state.counters["busy %"] = 100.0 * (elapsed - waiting) / elapsed;

    QMetaObject::invokeMethod(
        site, [site] { delete site; }, Qt::BlockingQueuedConnection);
    server.quit();
    server.wait();
}

// `count` sample listings from `first` on, as the database file gives them.
const std::vector<RecordPtr>& databaseListings(int first, int count)
{
    static std::map<std::pair<int, int>, std::vector<RecordPtr>> cache;
    auto& listings = cache[{first, count}];
    if (listings.empty() && count > 0) {
        listings.reserve(size_t(count));
        for (int i = first; i < first + count; ++i) {
            auto r = std::make_shared<Record>();
            int pieces = 0;
            (void)r->AssignLine(sample::DatabaseLine(sample::GenerateListing(quint64(i))),
                                pieces); // all fields
            r->NormalizeData();
            listings.push_back(std::move(r));
        }
    }
    return listings;
}

// An import of the demo site's 1,000 listings into a database of range(0)
// listings: with range(1) 0 none of them is among the site's (every listing
// is appended), with 1 the database holds all of the site's (every listing
// is compared and left as it is).
void BM_ImportInto(benchmark::State& state)
{
    constexpr int kSite = 1000;
    const int existing = int(state.range(0));
    const bool held = state.range(1) != 0;
    QThread server;
    server.start();
    auto* site = new DemoSite({.count = kSite, .pageSize = kPageSize});
    site->moveToThread(&server);
    bool listening = false;
    QMetaObject::invokeMethod(
        site, [&] { listening = site->Listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        state.SkipWithError("demo site could not listen");
        return;
    }
    const QString address = site->Address();
    const std::vector<RecordPtr>& base = databaseListings(held ? 0 : kSite, existing);

    Program program(QDir::tempPath());
    ImportOptions unthrottled;
    unthrottled.requestsPerSecond = 0; // the site is on this machine
    ImportResult last;
    double perPage = 0, index = 0, elapsed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        program.Records.Items.Clear();
        program.Records.Items.Reserve(existing + kSite);
        for (const RecordPtr& r : base)
            program.Records.Items.Add(r);
        // The run builds this index once, at its first listing: timed apart
        // to tell it from the cost of the pages.
        QElapsedTimer indexing;
        indexing.start();
        if (!base.empty()) benchmark::DoNotOptimize(FlatIndex(program.Records.Items).Find(*base.front()));
        const double indexNs = double(indexing.nsecsElapsed());
        state.ResumeTiming();
        LoaderPageSource loader;
        QElapsedTimer run;
        run.start();
        last = SyncStart(program, address, loader, eventLoop(), unthrottled);
        const double runNs = double(run.nsecsElapsed());
        state.SetIterationTime(runNs / 1e9);
        elapsed += runNs;
        perPage += (runNs - indexNs) / double(last.pages);
        index += indexNs;
    }
    const qint64 expectedAdded = held && existing >= kSite ? 0 : kSite;
    if (!last.completed || last.taken != kSite || last.added != expectedAdded)
        state.SkipWithError("run did not take the listings as expected");
    const double n = double(state.iterations());
    state.counters["ms/page"] = perPage / n / 1e6;
    state.counters["index ms"] = index / n / 1e6;
    state.counters["listings/s"] = double(kSite) * n / (elapsed / 1e9);

    QMetaObject::invokeMethod(
        site, [site] { delete site; }, Qt::BlockingQueuedConnection);
    server.quit();
    server.wait();
}

// Indexing a database of range(0) listings by flat, as a run does once.
void BM_FlatIndex(benchmark::State& state)
{
    RecordList items;
    for (const RecordPtr& r : databaseListings(kPageSize * 20, int(state.range(0))))
        items.Add(r);
    for (auto _ : state)
        benchmark::DoNotOptimize(FlatIndex(items).Find(*items.at(items.Count() - 1)));
    state.counters["ns/listing"] =
        benchmark::Counter(double(state.iterations()) * double(items.Count()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Looking up a page's worth of listings (50, none of them held) in an index
// of range(0) listings: the cost of one listing of a page against the size
// of the database.
void BM_FlatFind(benchmark::State& state)
{
    RecordList items;
    for (const RecordPtr& r : databaseListings(kPageSize * 20, int(state.range(0))))
        items.Add(r);
    const FlatIndex index(items);
    const std::vector<RecordPtr>& page = databaseListings(0, kPageSize);
    int found = 0;
    for (auto _ : state)
        for (const RecordPtr& r : page)
            found += index.Find(*r) >= 0;
    if (found != 0) state.SkipWithError("a listing of the page was found");
    state.counters["ns/listing"] = benchmark::Counter(
        double(state.iterations()) * kPageSize, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_ListPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListPageParseOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DetailPages)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeepUnknownTagsText)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedTablesRows)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportRun)->Args({1000, 0})->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
// The program's own rate: the run takes as long as its requests allow.
BENCHMARK(BM_ImportRun)
    ->Args({20, int(ImportOptions().requestsPerSecond)})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_FlatIndex)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatFind)->Arg(0)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImportInto)
    ->Args({0, 0})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->ArgNames({"existing", "held"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
