// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

// Generated listings and sample kinds for the benchmarks, built once per
// process and shared by every benchmark that asks for the same count.

#include "knowledge/KnowledgeBase.h"
#include "program/Program.h"
#include "sample/ListingGenerator.h"

#include <map>
#include <vector>

namespace bench {

// The first `count` listings of the sample market, read as the database file
// would give them.
inline const std::vector<RecordPtr>& Listings(int count)
{
    static std::map<int, std::vector<RecordPtr>> cache;
    auto& listings = cache[count];
    if (listings.empty()) {
        listings.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            auto r = std::make_shared<Record>();
            int pieces = 0;
            // A generated line always has every field.
            (void)r->AssignLine(sample::DatabaseLine(sample::GenerateListing(static_cast<quint64>(i))),
                                pieces);
            r->NormalizeData();
            listings.push_back(std::move(r));
        }
    }
    return listings;
}

inline void FillRecords(Program& program, int count)
{
    program.Records.Items.Clear();
    program.Records.Items.Reserve(count);
    for (const RecordPtr& r : Listings(count))
        program.Records.Items.Add(r);
}

// The attribute kinds of the sample knowledge base, with empty value lists.
inline void SampleKinds(Program& program)
{
    const QStringList lines = sample::SampleKnowledgeLines(0);
    const qsizetype types = lines.indexOf(QStringLiteral("AttributeType"));
    for (qsizetype i = types + 1; i < lines.size(); ++i) {
        const QStringList parts = lines[i].split(u'|');
        const field::Field k = field::At(parts[0].trimmed().toInt());
        program.Knowledge.AttributeKinds[k] = parts.value(1);
    }
}

} // namespace bench
