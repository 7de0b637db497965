// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "store/Fields.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

class Program;
class Records;

// A deterministic sample housing market: invented districts, streets, stops and
// agencies of an invented city. It feeds the sample data files, the tests and the
// benchmarks, so it must give the same text on every machine: all randomness comes
// from the program's integer generator and no floating point is involved in a listing.
namespace sample {

// The fields of listing number `index` (0-based) of the sample market with this seed.
field::FieldArray<QString> GenerateListing(quint64 index, quint32 seed = 2008);

// One database.txt line (without its end): every field followed by "|".
QString DatabaseLine(const field::FieldArray<QString>& fields);

// The listings 0..count-1, appended to `records` as the database file would give them.
void AppendSampleListings(Records& records, quint64 count, quint32 seed = 2008);

// Replaces the program's listings with listings 0..count-1 and its knowledge
// base with the sample one: the attribute names, kinds, formulas and comments,
// the accepted values and ranges a re-index finds over these listings, and the
// expert's ratings of the values of attributes formalized by value.
void BuildSampleMarket(Program& program, quint64 count, quint32 seed = 2008);

// The whole sample knowledge base for listings 0..count-1 (kinds, formulas, comments,
// ratings, accepted values, ranges), as the lines of knows.txt without line ends.
QStringList SampleKnowledgeLines(quint64 count, quint32 seed = 2008);

// The lines of database.txt (without line ends) for listings 0..count-1.
QStringList SampleDatabaseLines(quint64 count, quint32 seed = 2008);

} // namespace sample
