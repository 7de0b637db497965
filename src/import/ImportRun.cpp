// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ImportRun.h"

#include "html/HtmlDocument.h"
#include "html/PageLoader.h"
#include "import/ImportMerge.h"
#include "platform/AtomicWriter.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "store/Fields.h"

#include <QDir>
#include <QHostAddress>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <unordered_set>

namespace {

// How often a wait looks at the stop request when nothing else happens (a
// stop from a signal handler arrives without an event).
constexpr int kPollMs = 25;

// The number text of a count or page number: a leading blank, all digits.
QString countText(qint64 n)
{
    return text::NumberText(static_cast<double>(n), 15);
}

QString failedLine(const QUrl& url, const QString& reason)
{
    return QStringLiteral("Не удалось загрузить ") + url.toDisplayString() + QStringLiteral(": ") + reason;
}

QString givenUpLine(const QString& why)
{
    return QStringLiteral("Импорт остановлен: ") + why;
}

// A page of nothing but blanks is no page: the site failed to send it.
bool isBlank(const QString& html)
{
    for (QChar c : html) {
        if (!c.isSpace()) return false;
    }
    return true;
}

class Run
{
public:
    Run(Program& program, QString site, PageSource& pages, const ImportHooks& hooks,
        const ImportOptions& options)
        : m_program(program), m_site(std::move(site)), m_pages(pages), m_hooks(hooks), m_options(options),
          m_layout(m_options.layout ? *m_options.layout : *DefaultSiteLayout()),
          m_merge(program.Records, options.updateExisting, [this] { m_hooks.Yield(); })
    {
        const double rate = options.requestsPerSecond;
        m_pages.SetMinInterval(rate > 0 ? int(std::ceil(1000 / rate)) : 0);
    }

    ImportResult Go();

private:
    void log(const QString& line) { m_hooks.Log(line); }
    bool stopRequested() const { return m_hooks.StopRequested(); }
    // Logs the end of a stopped run when a stop is requested, or when the
    // run has given up on the site.
    bool checkpoint()
    {
        if (!m_giveUp.isEmpty()) {
            log(givenUpLine(m_giveUp));
            m_giveUp.clear();
            m_result.gaveUp = true;
            return true;
        }
        if (!stopRequested()) return false;
        log(QStringLiteral("Завершено."));
        return true;
    }
    // Lets events run until the page source is done, or until `ms` have
    // passed when ms >= 0, looking at the stop request on every pass. False
    // when stopped.
    bool wait(int ms = -1);
    // A loaded page, taken from the page source so that the next page can
    // load while this one is read. A page that failed is empty, at the
    // address asked for.
    struct Page
    {
        QString html;
        QUrl url;         // where it finally came from; its links resolve against it
        HtmlDocument doc; // a large page comes parsed already
    };
    // Pages from this size (in characters) are parsed aside; smaller ones
    // parse in well under a second whatever they hold.
    static constexpr qsizetype kParseAsideChars = 256 * 1024;
    // Waits for the page at `url`, starting its load unless it is the page
    // already loading ahead, and looks at the stop request on every pass. A
    // page that fails or comes empty is logged and asked for again after a
    // pause, a few times. False when the run ends: stopped (the load is given
    // up), or a page the run cannot do without (`needed`) still failed. Any
    // other page that failed comes back empty; so does a link to another site,
    // which is never loaded.
    bool fetch(const QUrl& url, Page& page, bool needed = false);
    // Starts loading the page the run will ask for next: the site works on it
    // while this side reads the page before, so that a run is held up by the
    // site alone. One page is loading at any time.
    void loadAhead(const QUrl& url);
    static HtmlDocument parse(Page& page)
    {
        return page.doc.isNull() ? HtmlDocument::parse(page.html, page.url) : std::move(page.doc);
    }
    // Parses a large page on a thread of its own while the run lets events
    // run and looks at the stop request: a crafted page can take gumbo
    // seconds. False when stopped; the parse then ends on its own, unseen.
    bool parseAside(Page& page);
    // Completes the listing read from row i of a list page from its detail
    // page and takes it into the database. False when the run ends meanwhile.
    bool takeRow(const QList<HtmlElement>& rows, qsizetype i, RecordPtr listing, qint64 total);
    void cutLongFields(Record& listing);
    // What tells a listing row apart from the rows taken before in the run.
    static size_t rowKey(const Record& listing, const QUrl& link);
    // Loads a page and waits for it (see fetch); `doc` holds the page.
    bool load(const QUrl& url, HtmlDocument& doc)
    {
        Page page;
        if (!fetch(url, page, true)) return false;
        doc = parse(page);
        return true;
    }

    Program& m_program;
    QString m_site;
    PageSource& m_pages;
    const ImportHooks& m_hooks;
    const ImportOptions m_options;
    const SiteLayout& m_layout; // held by m_options
    ImportMerge m_merge;
    ImportResult m_result;
    QUrl m_ahead;                      // the page loading ahead, if any
    int m_failedDetails = 0;           // listings in a row whose detail page failed
    QString m_giveUp;                  // why the run ends at the next checkpoint
    std::unordered_set<size_t> m_seen; // the rows taken in this run (rowKey)
    bool m_decodingNoted = false;
};

bool Run::wait(int ms)
{
    QTimer poll;
    poll.start(kPollMs);
    bool due = false;
    QTimer pause;
    if (ms >= 0) {
        pause.setSingleShot(true);
        pause.setTimerType(Qt::PreciseTimer); // a pause is never shorter than asked
        QObject::connect(&pause, &QTimer::timeout, [&due] { due = true; });
        pause.start(ms);
    }
    for (;;) {
        if (checkpoint()) return false;
        if (ms >= 0 ? due : !m_pages.IsLoading()) return true;
        m_hooks.WaitForEvents();
    }
}

bool Run::fetch(const QUrl& url, Page& page, bool needed)
{
    page = {QString(), url, HtmlDocument()};
    if (!IsSiteLink(m_site, url)) {
        log(QStringLiteral("Ссылка на другой сайт не загружается: ") + url.toDisplayString());
        return true;
    }
    int pauseMs = m_options.firstPauseMs;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0 || m_ahead != url) m_pages.Load(url); // drops a page loaded ahead in vain
        m_ahead.clear();
        if (!wait()) {
            m_pages.Abort();
            return false;
        }
        QString reason;
        if (m_pages.Ok()) {
            QString html = m_pages.Html();
            // Said once: a mislabelled site is mislabelled on every page.
            if (const QString note = m_pages.DecodingNote(); !note.isEmpty() && !m_decodingNoted) {
                log(m_pages.FinalUrl().toDisplayString() + QStringLiteral(": ") + note);
                m_decodingNoted = true;
            }
            if (!isBlank(html)) {
                page.html = std::move(html);
                page.url = m_pages.FinalUrl();
                if (!needed) m_failedDetails = 0;
                if (page.html.size() >= kParseAsideChars && !parseAside(page)) return false;
                return true;
            }
            reason = QStringLiteral("пустая страница");
        } else {
            reason = m_pages.ErrorText();
        }
        if (attempt < m_options.retries) {
            // A site that says when to ask again (Retry-After) is not asked sooner.
            const qint64 asked = m_pages.Ok() ? -1 : m_pages.RetryAfterMs();
            const int waitMs = asked > pauseMs ? int(asked) : pauseMs;
            log(failedLine(url, reason) +
                (asked >= 0 ? QStringLiteral("; сайт просит подождать, повтор через ")
                            : QStringLiteral("; повтор через ")) +
                text::SecondsText(waitMs) + QStringLiteral(" с"));
            if (!wait(waitMs)) return false;
            pauseMs = std::min(pauseMs * 2, std::max(m_options.maxPauseMs, m_options.firstPauseMs));
            continue;
        }
        if (needed) {
            log(givenUpLine(QStringLiteral("не удалось загрузить ") + url.toDisplayString() +
                            QStringLiteral(": ") + reason));
            m_result.gaveUp = true;
            return false;
        }
        log(failedLine(url, reason));
        if (++m_failedDetails == m_options.failedDetailPages)
            m_giveUp = QStringLiteral("не загрузились страницы %1 предложений подряд, последняя ")
                           .arg(m_failedDetails) +
                       url.toDisplayString() + QStringLiteral(": ") + reason;
        return true;
    }
}

bool Run::parseAside(Page& page)
{
    struct Job
    {
        QString html;
        QUrl url;
        HtmlDocument doc;
        std::atomic<bool> done{false};
    };
    auto job = std::make_shared<Job>();
    job->html = page.html;
    job->url = page.url;
    // The thread shares nothing with the run but the job, which outlives
    // whichever of the two lets go of it last.
    std::thread([job] {
        job->doc = HtmlDocument::parse(job->html, job->url);
        job->done = true;
    }).detach();
    QTimer poll;
    poll.start(kPollMs);
    for (;;) {
        if (checkpoint()) return false;
        if (job->done) break;
        m_hooks.WaitForEvents();
    }
    page.doc = std::move(job->doc);
    return true;
}

void Run::loadAhead(const QUrl& url)
{
    if (url.isEmpty() || !m_giveUp.isEmpty() || !IsSiteLink(m_site, url)) return;
    m_pages.Load(url);
    m_ahead = url;
    // The request leaves on the next pass of the event loop; let it go now
    // rather than after the page before has been read.
    m_hooks.Yield();
}

ImportResult Run::Go()
{
    const auto finish = [&](bool completed) {
        if (!m_ahead.isEmpty()) { // stopped with the next page on its way
            m_pages.Abort();
            m_ahead.clear();
        }
        if (m_options.clearFirst && !m_result.cleared)
            log(QStringLiteral("Записи в БД не удалены: не получено ни одного объявления."));
        m_result.completed = completed;
        m_result.added = m_merge.Added();
        m_result.updated = m_merge.UpdatedCount();
        m_result.unchanged = m_merge.UnchangedCount();
        return m_result;
    };

    if (m_hooks.clearLog) m_hooks.clearLog();
    // What is taken is kept only by a save: a folder that takes none is found
    // before the site is asked for anything, not after the whole walk.
    if (!m_program.DataDir.isEmpty()) {
        if (const QString why = textfile::CannotReplaceReason(m_program.DatabasePath()); !why.isEmpty()) {
            log(givenUpLine(QStringLiteral("базу данных «%1» нельзя сохранить: %2; импорт не начат")
                                .arg(QDir::toNativeSeparators(m_program.DatabasePath()), why)));
            m_result.gaveUp = true;
            return finish(false);
        }
    }
    log(QStringLiteral("Соединение с сервером..."));
    {
        HtmlDocument start;
        if (!load(m_layout.StartPageUrl(m_site), start)) return finish(false);
        m_result.total = m_layout.AnnouncedTotal(start);
    }
    if (m_result.total <= 0) {
        // Without the total the run cannot tell when it is done.
        log(givenUpLine(QStringLiteral("на начальной странице не удалось прочитать общее число предложений "
                                       "(«Всего предложений: …»)")));
        m_result.gaveUp = true;
        return finish(false);
    }
    const qint64 total = m_result.total;
    qint64& taken = m_result.taken;
    if (m_hooks.steps) m_hooks.steps(total + 1, 0);

    int emptyPages = 0;        // list pages in a row without a new listing
    bool repeatsInRow = false; // some of them only repeated listings taken before
    for (qint64& page = m_result.pages;;) {
        ++page;
        log(QStringLiteral("Загрузка ") + countText(page) + QStringLiteral(" страницы..."));
        HtmlDocument listPage;
        if (!load(m_layout.ListPageUrl(m_site, page), listPage)) return finish(false);
        const QList<HtmlElement> rows = m_layout.ListingRows(listPage);
        // A site may answer every page past its end with its last page again:
        // a page of nothing but listings this run has seen counts as empty.
        std::vector<RecordPtr> listings;
        std::vector<size_t> keys;
        listings.reserve(size_t(rows.size()));
        keys.reserve(size_t(rows.size()));
        bool allSeen = !rows.isEmpty();
        for (const HtmlElement& row : rows) {
            listings.push_back(m_layout.ReadListingRow(row));
            keys.push_back(rowKey(*listings.back(), m_layout.DetailLink(row)));
            allSeen = allSeen && m_seen.contains(keys.back());
        }
        if (allSeen) {
            log(QStringLiteral("На странице только предложения, уже полученные в этом импорте."));
        } else {
            for (qsizetype i = 0; i < rows.size(); ++i) {
                if (checkpoint()) return finish(false);
                if (!takeRow(rows, i, std::move(listings[size_t(i)]), total)) return finish(false);
                m_seen.insert(keys[size_t(i)]);
                if (taken >= total) {
                    log(QStringLiteral("================= Завершено ================ "));
                    if (m_options.updateExisting)
                        log(ImportSummaryLine(m_merge.Added(), m_merge.UpdatedCount(),
                                              m_merge.UnchangedCount()));
                    return finish(true);
                }
                if (m_options.maxNewListings > 0 && m_merge.Added() >= m_options.maxNewListings) {
                    log(givenUpLine(QStringLiteral("добавлено новых объявлений: %1, больше одному импорту "
                                                   "не положено")
                                        .arg(m_merge.Added())));
                    m_result.gaveUp = true;
                    return finish(false);
                }
            }
        }
        log(QStringLiteral("------------ данные страницы обработаны, итого ") +
            countText(m_program.Records.Items.Count()) + QStringLiteral(" записей в БД.  ------------"));
        // A site that has run out of listings, or serves something else,
        // would be asked for pages without end.
        const bool empty = rows.isEmpty() || allSeen;
        repeatsInRow = empty && (allSeen || repeatsInRow);
        emptyPages = empty ? emptyPages + 1 : 0;
        if (emptyPages == m_options.emptyListPages) {
            const QString none = repeatsInRow ? QStringLiteral("ни одного нового предложения")
                                              : QStringLiteral("ни одного предложения");
            log(givenUpLine(
                QStringLiteral("на %1 страницах подряд нет %2, последняя ").arg(emptyPages).arg(none) +
                m_layout.ListPageUrl(m_site, page).toDisplayString()));
            m_result.gaveUp = true;
            return finish(false);
        }
    }
}

bool Run::takeRow(const QList<HtmlElement>& rows, qsizetype i, RecordPtr listing, qint64 total)
{
    qint64& taken = m_result.taken;
    log(QStringLiteral("Обработка данных квартиры на ") + listing->GetRecord(field::Address));
    // Without a link, or when its page fails, the detail fields stay
    // empty: they are never taken from another listing's page.
    const QUrl link = m_layout.DetailLink(rows[i]);
    if (!link.isEmpty()) {
        Page detail;
        if (!fetch(link, detail)) return false; // the listing being built is dropped
        if (taken + 1 < total && i + 1 < rows.size()) loadAhead(m_layout.DetailLink(rows[i + 1]));
        m_layout.ReadDetailPage(parse(detail), *listing);
    }
    cutLongFields(*listing);
    if (m_options.clearFirst && !m_result.cleared) {
        // Only now: until the run has a listing, the old ones stay.
        m_program.Records.Clear();
        m_result.cleared = true;
    }
    const QString address = listing->GetRecord(field::Address);
    if (m_merge.Take(std::move(listing)) == ImportMerge::Outcome::Updated)
        log(QStringLiteral("Обновлены данные квартиры на ") + address);
    ++taken;
    if (m_hooks.steps) m_hooks.steps(total + 1, taken);
    if (m_hooks.listingTaken) m_hooks.listingTaken();
    return true;
}

void Run::cutLongFields(Record& listing)
{
    for (field::Field k : field::AllFields) {
        const qsizetype size = listing.Field(k).size();
        if (size <= kMaxImportedFieldChars) continue;
        listing.SetRecord(k, listing.Field(k).left(kMaxImportedFieldChars).toString());
        const QString name =
            field::IsAttribute(k) ? QString::fromUtf16(fieldinfo::Names[k]) : QStringLiteral("резерв");
        log(QStringLiteral("Поле «%1» обрезано до %2 знаков (было %3): ")
                .arg(name)
                .arg(kMaxImportedFieldChars)
                .arg(size) +
            listing.Field(field::Address).left(200).toString());
    }
}

size_t Run::rowKey(const Record& listing, const QUrl& link)
{
    size_t h = qHash(link.toString(), 0x9e3779b9);
    for (field::Field k : field::AllFields)
        h = qHash(listing.Field(k), h ^ (field::Slot(k) * 0x100000001b3ULL));
    return h;
}

} // namespace

QString SiteAddressFrom(const QString& given)
{
    QString site = given.trimmed();
    while (site.endsWith(u'/'))
        site.chop(1);
    return site;
}

bool IsSiteLink(const QString& site, const QUrl& link)
{
    const QString own = QUrl(site).host();
    const QString host = link.host();
    if (own.isEmpty() || host.isEmpty()) return false;
    if (host == own) return true;
    // An address by number has no subdomains.
    if (!QHostAddress(own).isNull()) return false;
    return host.endsWith(own) && host[host.size() - own.size() - 1] == u'.';
}

QString ListingSiteAddress()
{
    const QString env = SiteAddressFrom(qEnvironmentVariable("VESTRANA_SITE"));
    if (!env.isEmpty()) return env;
    return QStringLiteral("http://127.0.0.1:") + QString::number(kDemoSitePort);
}

// ---- Pages over HTTP ------------------------------------------------------------

LoaderPageSource::LoaderPageSource(int timeoutMs) : m_loader(std::make_unique<PageLoader>())
{
    m_loader->setTimeout(timeoutMs);
}

LoaderPageSource::~LoaderPageSource() = default;

void LoaderPageSource::Load(const QUrl& url)
{
    m_loader->load(url);
}

void LoaderPageSource::Abort()
{
    m_loader->abort();
}

bool LoaderPageSource::IsLoading() const
{
    return m_loader->isLoading();
}

bool LoaderPageSource::Ok() const
{
    return m_loader->ok();
}

QString LoaderPageSource::ErrorText() const
{
    return m_loader->errorText();
}

QString LoaderPageSource::Html() const
{
    return m_loader->html();
}

QUrl LoaderPageSource::FinalUrl() const
{
    return m_loader->finalUrl();
}

void LoaderPageSource::SetMinInterval(int ms)
{
    m_loader->setMinInterval(ms);
}

qint64 LoaderPageSource::RetryAfterMs() const
{
    return m_loader->retryAfterMs();
}

QString LoaderPageSource::DecodingNote() const
{
    return m_loader->decodingNote();
}

ImportResult SyncStart(Program& program, const QString& site, PageSource& pages, const ImportHooks& hooks,
                       const ImportOptions& options)
{
    Program::BusyScope busy(program);
    return Run(program, site, pages, hooks, options).Go();
}
