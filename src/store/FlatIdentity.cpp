// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "store/FlatIdentity.h"

#include "platform/Text.h"
#include "platform/TimeSlice.h"
#include "store/Fields.h"

#include <algorithm>

namespace {

// A field as the import would store it; a copy only when it needs cleaning.
QStringView cleaned(QStringView field, QString& storage)
{
    if (text::IsFileSafe(field)) return field;
    storage = text::FileSafe(field.toString());
    return storage;
}

// One code unit in lower case: the same for the hash and the comparison.
inline char16_t folded(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80) return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    // Russian letters without the table lookup: А..Я, and Ё among Ѐ..Џ.
    if (u >= 0x0430 && u <= 0x045F) return u;
    if (u >= 0x0410 && u <= 0x042F) return char16_t(u + 0x20);
    if (u >= 0x0400 && u <= 0x040F) return char16_t(u + 0x50);
    return c.toLower().unicode();
}

} // namespace

FlatKey::FlatKey(const Record& r)
{
    m_part[0] = text::TrimmedView(cleaned(r.Field(field::Address), m_cleaned[0]));
    m_part[1] = text::TrimmedView(SplitFloor(cleaned(r.Field(field::Floor), m_cleaned[1])).floor);
    m_part[2] = text::TrimmedView(cleaned(r.Field(field::TotalArea), m_cleaned[2]));
    m_part[3] = text::TrimmedView(cleaned(r.Field(field::Rooms), m_cleaned[3]));
}

quint32 FlatKey::Hash() const
{
    // FNV-1a over the folded parts, each ended by a code unit no text holds,
    // then mixed so that the low bits pick the slot well.
    quint64 h = 0xcbf29ce484222325ULL;
    for (const QStringView& part : m_part) {
        for (QChar c : part)
            h = (h ^ folded(c)) * 0x100000001b3ULL;
        h = (h ^ 0xFFFF) * 0x100000001b3ULL;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return static_cast<quint32>(h);
}

bool FlatKey::operator==(const FlatKey& other) const
{
    for (size_t p = 0; p < m_part.size(); ++p) {
        const QStringView a = m_part[p], b = other.m_part[p];
        if (a.size() != b.size()) return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (folded(a[i]) != folded(b[i])) return false;
    }
    return true;
}

bool SameFlat(const Record& a, const Record& b)
{
    const FlatKey ka(a), kb(b);
    return ka.Valid() && kb.Valid() && ka == kb;
}

// ---- The index -------------------------------------------------------------------

FlatIndex::FlatIndex(const RecordList& items, const std::function<void()>& yield)
    : m_items(items), m_index(size_t(items.Count()))
{
    TimeSlice slice(yield);
    for (int i = 0; i < items.Count(); ++i) {
        Insert(i);
        if (yield) slice();
    }
}

int FlatIndex::Find(const Record& r) const
{
    const FlatKey key(r);
    if (!key.Valid()) return -1;
    return m_index.Find(key.Hash(), [&](int held) { return FlatKey(*m_items.at(held)) == key; });
}

int FlatIndex::Insert(int index)
{
    const FlatKey key(*m_items.at(index));
    if (!key.Valid()) return -1;
    return m_index.Insert(key.Hash(), index, [&](int held) { return FlatKey(*m_items.at(held)) == key; });
}

// ---- Cleaning a database ---------------------------------------------------------

namespace {

// A listing's date as a number that grows with it (yyyymmdd), 0 when the
// field is no date dd.mm.yyyy.
int dateOrder(const Record& r)
{
    const QStringView d = text::TrimmedView(r.Field(field::Date));
    const auto number = [&](qsizetype from, qsizetype size) {
        int n = 0;
        for (qsizetype i = from; i < from + size; ++i) {
            if (d[i] < u'0' || d[i] > u'9') return -1;
            n = n * 10 + (d[i].unicode() - u'0');
        }
        return n;
    };
    if (d.size() != 10 || d[2] != u'.' || d[5] != u'.') return 0;
    const int day = number(0, 2), month = number(3, 2), year = number(6, 4);
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0) return 0;
    return year * 10000 + month * 100 + day;
}

} // namespace

QList<FlatCopy> FindCopies(const RecordList& items)
{
    // The index leads every listing to the first of its flat; the newest of
    // each flat is found in one pass, the copies in a second.
    const FlatIndex index(items);
    const auto n = size_t(items.Count());
    std::vector<int> group(n, -1);
    std::vector<int> newest(n, -1); // by the first listing of a flat
    std::vector<int> dates(n, 0);
    for (int i = 0; i < items.Count(); ++i) {
        const int first = index.Find(*items.at(i));
        if (first < 0) continue;
        group[size_t(i)] = first;
        dates[size_t(i)] = dateOrder(*items.at(i));
        int& best = newest[size_t(first)];
        if (best < 0 || dates[size_t(i)] >= dates[size_t(best)]) best = i;
    }
    QList<FlatCopy> copies;
    for (int i = 0; i < items.Count(); ++i) {
        const int first = group[size_t(i)];
        if (first < 0) continue;
        const int kept = newest[size_t(first)];
        if (kept != i) copies.append({i + 1, kept + 1});
    }
    return copies;
}

void RemoveCopies(Records& records, const QList<FlatCopy>& copies)
{
    if (copies.isEmpty()) return;
    const RecordList& items = records.Items;
    // Empty fields of a listing that stays are filled from its copies, the
    // newest copy first.
    QList<FlatCopy> byAge = copies;
    std::stable_sort(byAge.begin(), byAge.end(), [&](const FlatCopy& a, const FlatCopy& b) {
        const int da = dateOrder(*items.Item(a.position)), db = dateOrder(*items.Item(b.position));
        return da != db ? da > db : a.position > b.position;
    });
    for (const FlatCopy& c : byAge) {
        Record& kept = *items.Item(c.original);
        const Record& copy = *items.Item(c.position);
        for (field::Field k : field::AllFields)
            if (kept.Field(k).isEmpty() && !copy.Field(k).isEmpty()) kept.SetRecord(k, copy.GetRecord(k));
    }

    std::vector<RecordPtr> kept;
    kept.reserve(size_t(records.Items.Count() - copies.size()));
    qsizetype next = 0;
    for (int i = 0; i < records.Items.Count(); ++i) {
        if (next < copies.size() && copies[next].position == i + 1) {
            ++next;
            continue;
        }
        kept.push_back(records.Items.at(i));
    }
    records.Items.Clear();
    records.Items.Reserve(int(kept.size()));
    for (RecordPtr& r : kept)
        records.Items.Add(std::move(r));
}

QList<field::Field> DifferingFields(const Record& copy, const Record& kept)
{
    QList<field::Field> fields;
    for (field::Field k : field::AllFields)
        if (copy.Field(k) != kept.Field(k)) fields.append(k);
    return fields;
}
