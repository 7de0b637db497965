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

// One flat listing: 18 text fields (0 to 16 are the attributes, 17 is reserved
// and only carried through the file) and the two marks of the last search.
//
// The fields live in one string with their end offsets, so that a listing read
// from the file costs one allocation and a million of them stay compact.
class Record
{
public:
    static constexpr int FieldCount = field::Count;

    bool Finded = false;
    float So = 0;

    Record();

    // A copy of field `index` (0 to 17); any other index raises the out-of-range error.
    QString GetRecord(int index) const;
    // Field `index` becomes `data`, stored exactly as passed.
    void SetRecord(int index, const QString& data);
    // A view of a field without copying; the index must be valid.
    QStringView Field(int index) const
    {
        const quint32 start = index == 0 ? 0 : m_end[static_cast<size_t>(index - 1)] + 1;
        return QStringView(m_text).mid(start, m_end[static_cast<size_t>(index)] - start);
    }

    // The mark of the fields' present state (platform/Revision.h): new for a
    // new listing and after every change of a field, kept by a copy.
    quint64 Revision() const { return m_revision; }

    // Where the field texts lie in memory (for prefetching in long walks).
    const void* TextData() const { return m_text.constData(); }

    // Splits a floor text "floor/storeys" in the floor field into the floor and the storeys.
    void NormalizeData();

    // Loading: takes one decoded line of the database file. Returns false when
    // the line has fewer than 18 pieces; `pieces` then holds how many it has.
    bool AssignLine(QString line, int& pieces);
    // Saving: appends the 18 fields, each followed by "|", in windows-1251.
    void AppendLine(QByteArray& out) const;

private:
    void assignFields(const std::array<QStringView, FieldCount>& fields);

    QString m_text;
    std::array<quint32, FieldCount> m_end{};
    quint64 m_revision;
};

using RecordPtr = std::shared_ptr<Record>;

// The text of a listing table's cell: the column's fields joined with "/".
QString CellText(const Record& r, const fieldinfo::Column& column);
