// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/OpenHash.h"
#include "store/Records.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <functional>
#include <vector>

// When two listings offer the same flat. A site is synchronised again and
// again, so the import and the clean-up of the database must recognise a flat
// they already hold.
//
// Two listings are the same flat when their address (field 4), floor (field 2),
// total area (field 6) and number of rooms (field 1) agree, each compared
// trimmed and ignoring letter case, after the cleaning the import does ("|" as
// "¦", a line break as one space), and with a combined floor such as "5/9"
// taken as its floor "5", as loading splits it. A listing without an address,
// a floor or a total area names no flat: it is never the same as another one.
bool SameFlat(const Record& a, const Record& b);

// The comparison form of a listing's flat. It refers to the listing's fields,
// so it must not outlive the listing nor be kept across a change of them.
class FlatKey
{
public:
    explicit FlatKey(const Record& r);
    FlatKey(const FlatKey&) = delete;
    FlatKey& operator=(const FlatKey&) = delete;

    // False for a listing without an address, a floor or a total area.
    bool Valid() const { return !m_part[0].isEmpty() && !m_part[1].isEmpty() && !m_part[2].isEmpty(); }
    quint32 Hash() const;
    bool operator==(const FlatKey& other) const;

private:
    std::array<QStringView, 4> m_part; // address, floor, total area, rooms
    std::array<QString, 4> m_cleaned;  // only for a field that needed cleaning
};

// The listings of a list by flat: a hash table of positions, so that finding
// a flat costs the same in a database of a million listings as in an empty
// one. Only the first listing of each flat is held. The list may grow at its
// end (Insert the new listing) and its listings may change in place as long
// as their flat stays the same; any other change needs a new index.
class FlatIndex
{
public:
    // Indexes every listing of `items` in order, calling `yield` now and
    // then (at most every 15 ms) when given: a million listings take a while.
    explicit FlatIndex(const RecordList& items, const std::function<void()>& yield = {});

    // The 0-based index of the first listing of the same flat, or -1.
    int Find(const Record& r) const;
    // Indexes items.at(index) unless its flat is held already. Returns the
    // 0-based index of the listing that stands for the flat: `index` itself
    // when it is the first of its flat, -1 for a listing without an address.
    int Insert(int index);

private:
    const RecordList& m_items;
    PositionIndex m_index;
};

// A copy of a flat to remove and the listing of the same flat that stays,
// both 1-based positions.
struct FlatCopy
{
    int position;
    int original;
};

// Every listing that repeats another one, in database order. Of each flat the
// newest listing stays: the latest date (field 14, dd.mm.yyyy; a date that
// does not read is older than any that does), and of equal dates the last in
// the database.
QList<FlatCopy> FindCopies(const RecordList& items);
// Removes the copies (as FindCopies gave them for these very listings); the
// others keep their order. A field the listing that stays leaves empty takes
// the text of the newest copy that has one.
void RemoveCopies(Records& records, const QList<FlatCopy>& copies);
// The fields in which a copy differs from the listing that stays.
QList<field::Field> DifferingFields(const Record& copy, const Record& kept);
