// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "program/Program.h"

#include <QStringList>

// Small in-memory fixtures for tests of scoring, search and editors.
namespace fixtures {

// Appends a listing whose fields are given in order from field 0 (the rest empty).
inline RecordPtr AddListing(Program& p, const QStringList& fields)
{
    auto r = std::make_shared<Record>();
    for (int i = 0; i < fields.size() && i < Record::FieldCount; ++i)
        r->SetRecord(field::At(i), fields[i]);
    p.Records.Items.Add(r);
    return r;
}

// Appends a listing with one field set.
inline RecordPtr AddListingWith(Program& p, field::Field field, const QString& value)
{
    auto r = std::make_shared<Record>();
    r->SetRecord(field, value);
    p.Records.Items.Add(r);
    return r;
}

} // namespace fixtures
