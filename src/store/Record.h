// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "store/Fields.h"

#include <QString>
#include <QStringView>

#include <array>
#include <memory>

// A combined floor text "floor/storeys" cut at its first two "/": the floor
// before the first, the storeys up to the second (later pieces dropped).
// Nothing is trimmed. `combined` is false for a text without "/", which is
// then all floor.
struct FloorSplit
{
    QStringView floor;
    QStringView storeys;
    bool combined = false;
};
FloorSplit SplitFloor(QStringView floorText);

class Record;
using RecordPtr = std::shared_ptr<Record>;

// One flat listing: 18 text fields (the attributes, and field::Reserved, only
// carried through the file) and the two marks of the last search.
//
// The fields live in one string with their end offsets, so that a listing read
// from the file costs one allocation and a million of them stay compact.
class Record
{
    struct Blank
    {
        explicit Blank() = default;
    };

    // A million listings stay small: the fields joined with nothing between
    // them, and the end of every field but the last (that one ends the text)
    // in 16 bits. A listing longer than that marks m_end[0] with kWide and
    // keeps all 18 ends in 32 bits after its text in m_text (a text shorter
    // than kWide characters, the only kind kept in 16 bits, cannot have its
    // first field end at kWide). A line of the file with pieces after the
    // 18th keeps them, as they stood, between the fields and the 32-bit ends:
    // only such a listing pays for them.
    static constexpr quint16 kWide = 0xFFFF;
    static constexpr qsizetype kWideTail = 2 * field::Count; // 18 ends, two characters each

    // Declared first, with the two marks after m_end, so that the whole
    // listing packs into 72 bytes (checked below the class).
    QString m_text;
    quint64 m_revision;
    std::array<quint16, field::Count - 1> m_end{};

public:
    static constexpr int FieldCount = field::Count;

    bool Finded = false;
    float So = 0;

    Record();

    // A copy of a field; a field outside the listing (field::At of a bad
    // position) raises the out-of-range error.
    QString GetRecord(field::Field f) const;
    // The field becomes `data`, stored exactly as passed.
    void SetRecord(field::Field f, const QString& data);
    // A view of a field without copying; the field must be valid.
    QStringView Field(field::Field f) const { return fieldAt(field::Slot(f)); }

    // The mark of the fields' present state (platform/Revision.h): new for a
    // new listing and after every change of a field, kept by a copy.
    quint64 Revision() const { return m_revision; }

    // Where the field texts lie in memory (for prefetching in long walks).
    const void* TextData() const { return m_text.constData(); }

    // Splits a floor text "floor/storeys" in the floor field into the floor and the storeys.
    void NormalizeData();

    // Loading: takes one decoded line of the database file. Returns false when
    // the line has fewer than 18 pieces; `pieces` then holds how many it has.
    [[nodiscard]] bool AssignLine(QString line, int& pieces);
    // The same straight from the windows-1251 bytes of a line (without its
    // end), with the floor text already split as NormalizeData does: one pass
    // and one allocation for the text.
    [[nodiscard]] bool AssignLineCp1251(const char* data, qsizetype size, int& pieces);
    // A new listing from such a line, or null (with `pieces`) when it has fewer than 18 pieces.
    static RecordPtr FromLineCp1251(const char* data, qsizetype size, int& pieces);
    // Only for FromLineCp1251 (make_shared needs it public): a listing with no text yet.
    explicit Record(Blank);
    // Saving: appends the 18 fields, each followed by "|", in windows-1251,
    // then any pieces the line had after the 18th, unchanged.
    void AppendLine(QByteArray& out) const;
    // What the file's line held after the 18th field's "|" ("" for most).
    QStringView Extra() const;

private:
    // The field at a position of the file's line: the file code counts them.
    QStringView fieldAt(size_t i) const
    {
        if (m_end[0] == kWide) return wideField(i);
        const qsizetype start = i == 0 ? 0 : qsizetype(m_end[i - 1]);
        const qsizetype end = i == FieldCount - 1 ? m_text.size() : qsizetype(m_end[i]);
        return QStringView(m_text.constData() + start, end - start);
    }
    void assignFields(const std::array<QStringView, FieldCount>& fields);
    // m_text holds the joined fields, then `extra` characters of pieces
    // after the 18th.
    void setEnds(const std::array<quint32, FieldCount>& ends, qsizetype extra = 0);
    // m_text resized to `size` characters, not initialised.
    char16_t* textBuffer(qsizetype size);

    // AppendLine for a listing with pieces after its fields (kept out of
    // the common path).
    [[gnu::noinline]] void appendLineWithExtra(QByteArray& out) const;
    QStringView wideField(size_t index) const;
    qsizetype textSize() const;
};

// With its shared-pointer header a listing then takes one 96-byte heap block.
static_assert(sizeof(Record) <= 72);

// The text of a listing table's cell: the column's fields joined with "/".
QString CellText(const Record& r, const fieldinfo::Column& column);
