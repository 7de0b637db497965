// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "html/PageLoader.h"
#include "import/SiteLayout.h"
#include "program/RunContext.h"

#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <memory>

class Program;

// The port of the demo listing site on 127.0.0.1 (vestrana-cli demo-site).
inline constexpr quint16 kDemoSitePort = 8808;

// The listing site: scheme and host, without a path ("http://127.0.0.1:8808").
// The demo site unless the environment variable VESTRANA_SITE names another.
QString ListingSiteAddress();
// An address as the user gave it, made fit to have a path appended: blanks
// around it and slashes at its end removed.
QString SiteAddressFrom(const QString& given);

// Where a run gets its pages: one page at a time, loaded on the event loop.
class PageSource
{
public:
    virtual ~PageSource() = default;
    // Starts loading, dropping any load in progress. Never completes inside
    // the call: the run lets events run until IsLoading() turns false.
    virtual void Load(const QUrl& url) = 0;
    // Gives up the load in progress.
    virtual void Abort() = 0;
    virtual bool IsLoading() const = 0;
    // The outcome of the last load.
    virtual bool Ok() const = 0;
    // A short Russian reason when the load failed.
    virtual QString ErrorText() const = 0;
    virtual QString Html() const = 0;
    // The address the page finally came from; its links resolve against it.
    virtual QUrl FinalUrl() const = 0;
    // Least time between the starts of two requests (0: none). Pages that do
    // not come from a site may ignore it.
    virtual void SetMinInterval(int ms) { Q_UNUSED(ms); }
    // How long the site asked to wait before the next request after the last
    // load failed (-1: it did not ask).
    virtual qint64 RetryAfterMs() const { return -1; }
    // What reading the last page had to decide against what it said of itself
    // (its character set), for the log; empty when nothing.
    virtual QString DecodingNote() const { return {}; }
};

// Pages loaded over HTTP(S), with the loader's time limit and size cap.
class LoaderPageSource : public PageSource
{
public:
    explicit LoaderPageSource(int timeoutMs = PageLoader::kDefaultTimeoutMs);
    ~LoaderPageSource() override;

    void Load(const QUrl& url) override;
    void Abort() override;
    bool IsLoading() const override;
    bool Ok() const override;
    QString ErrorText() const override;
    QString Html() const override;
    QUrl FinalUrl() const override;
    void SetMinInterval(int ms) override;
    qint64 RetryAfterMs() const override;
    QString DecodingNote() const override;

private:
    std::unique_ptr<PageLoader> m_loader;
};

// What an import run tells whoever drives it (the import window, the command
// line, a test), beyond the run context: the log lines, `steps` (maximum
// total + 1, value the listings taken so far), and the stop request, read at
// the checkpoints: before every listing and on every pass of a wait (for a
// page, a pause before asking again, the parse of a large page); true ends the
// run with "Завершено.". Pages load on the event loop, so the run needs the
// context's yields: waitForEvents while it waits for a page, yield otherwise.
struct ImportHooks : RunContext
{
    // The log is emptied at the start of the run.
    std::function<void()> clearLog;
    // After every listing taken, once its line is logged: show the log's last line.
    std::function<void()> listingTaken;
};

// How a run takes listings into the database, how hard it may press the
// site, and when it gives up.
struct ImportOptions
{
    // A listing whose flat the database holds already (SameFlat) updates that
    // listing in place; false appends every listing, copies included.
    bool updateExisting = true;
    // Requests to the site per second at most, redirects and repeats
    // included; 0 for no limit (a test or benchmark on this machine).
    double requestsPerSecond = 3;
    // A page that fails or comes empty is asked for again this many times,
    // after a pause that starts at firstPauseMs and doubles up to maxPauseMs.
    int retries = 4;
    int firstPauseMs = 1000;
    int maxPauseMs = 60000;
    // The run gives up after this many list pages in a row without a listing,
    // and after this many listings in a row whose detail page cannot be had
    // (0: never).
    int emptyListPages = 3;
    int failedDetailPages = 3;
    // Empties the database, but only once the run has its first listing in
    // hand: a run that takes none leaves the listings as they were.
    bool clearFirst = false;
    // The run stops after adding this many listings (0: no bound), so that a
    // site announcing more than it has cannot fill the memory.
    qint64 maxNewListings = 1'000'000;
    // How the site lays out its pages.
    std::shared_ptr<const SiteLayout> layout = DefaultSiteLayout();
};

// A field the site sends longer than this is cut to it (and logged), so that
// no listing grows beyond what the database file may hold on one line.
inline constexpr qsizetype kMaxImportedFieldChars = 4000;

struct ImportResult
{
    bool completed = false; // the announced total was reached (else stopped)
    bool gaveUp = false;    // ended because the site failed (see the log)
    bool cleared = false;   // clearFirst took effect
    qint64 total = 0;
    qint64 taken = 0;   // listings read from the site: added + updated + unchanged
    qint64 added = 0;   // appended to the database
    qint64 updated = 0; // a listing already held took new values
    qint64 unchanged = 0;
    qint64 pages = 0; // list pages requested
};

// One import run: reads the total the site announces, then walks list pages
// 1, 2, 3 ... and takes a listing for every listing row, completed from its
// detail page, until as many listings as announced were taken or a stop is
// requested. A listing is appended, or with `options.updateExisting` updates
// the listing of the same flat already held (logged as "Обновлены данные
// квартиры на …"; the completion line is then followed by the counts of new,
// updated and unchanged listings). A page that fails or comes empty is asked
// for again after a growing pause; a listing whose detail page still cannot be
// had keeps its detail fields empty. The run gives up, saying why in the log,
// when the start page or a list page cannot be had, when several list pages in
// a row hold no listing (or only listings this run has taken already), when the
// detail pages of several listings in a row fail, or when it has added
// `options.maxNewListings` listings. Detail links to other sites than the listing site (or its subdomains)
// are not followed.
//
// Runs on the caller's thread, letting events run while it waits for pages;
// nothing may change the listings meanwhile (Program::Busy() is true). It
// announces no change itself: its driver does (the import window is modal, and
// the database editor that opened it tells the others once it has closed).
[[nodiscard]] ImportResult SyncStart(Program& program, const QString& site, PageSource& pages,
                                     const ImportHooks& hooks, const ImportOptions& options = {});

// Whether a link may be followed from the listing site `site`: its host is
// the site's host or a subdomain of it.
bool IsSiteLink(const QString& site, const QUrl& link);
