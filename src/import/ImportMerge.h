// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "store/FlatIdentity.h"
#include "store/Records.h"

#include <QString>

#include <functional>
#include <optional>

// How an import run takes a listing it has read from the site into the
// database: a flat the database already holds (SameFlat) is brought up to
// date in place instead of being appended again; every other listing is
// appended. With updating off every listing is appended, as a plain run
// does. Either way a combined floor such as "10/10" is split first, as
// loading splits it, so the listing looks as it will after the next start.
class ImportMerge
{
public:
    enum class Outcome { Added, Updated, Unchanged };

    // `yield` lets events run while the database is indexed.
    ImportMerge(Records& records, bool updateExisting, std::function<void()> yield = {});

    Outcome Take(RecordPtr listing);

    qint64 Added() const { return m_added; }
    qint64 UpdatedCount() const { return m_updated; }
    qint64 UnchangedCount() const { return m_unchanged; }

    // The listing held takes the site's new values: every attribute field
    // (0 to 16) whose new text is not empty and differs. An empty text means
    // the site did not give the value this time (a detail page that failed, an
    // area without its parts), so what the database holds is kept; the
    // reserved field 17 belongs to the database alone. True when anything changed.
    static bool Update(Record& held, const Record& fresh);

private:
    Records& m_records;
    bool m_updateExisting;
    std::function<void()> m_yield;
    std::optional<FlatIndex> m_index; // built at the first listing
    qint64 m_added = 0;
    qint64 m_updated = 0;
    qint64 m_unchanged = 0;
};

// The line that follows a run's completion line: how many listings were new,
// updated and unchanged.
QString ImportSummaryLine(qint64 added, qint64 updated, qint64 unchanged);
