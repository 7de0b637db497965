#include "store/Record.h"
#include "store/Fields.h"

#include "platform/Errors.h"
#include "platform/Revision.h"
#include "platform/TextFile.h"

namespace {

// Seventeen separators: the storage of a listing whose fields are all empty,
// shared by every new listing.
const QString& emptyText()
{
    static const QString s(Record::FieldCount - 1, u'|');
    return s;
}

void checkIndex(int index)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Record::FieldCount))
        throw VestranaError::outOfRange(QStringLiteral("поле %1 записи (допустимо от 0 до 17)").arg(index));
}

} // namespace

Record::Record() : m_text(emptyText()), m_revision(revision::Next())
{
    for (int i = 0; i < FieldCount; ++i)
        m_end[static_cast<size_t>(i)] = static_cast<quint32>(i);
}

QString Record::GetRecord(int index) const
{
    checkIndex(index);
    return Field(index).toString();
}

void Record::assignFields(const std::array<QStringView, FieldCount>& fields)
{
    qsizetype total = FieldCount - 1;
    for (const auto& f : fields)
        total += f.size();
    QString text;
    text.reserve(total);
    for (int i = 0; i < FieldCount; ++i) {
        if (i > 0) text += u'|';
        text += fields[static_cast<size_t>(i)];
        m_end[static_cast<size_t>(i)] = static_cast<quint32>(text.size());
    }
    m_text = std::move(text);
    m_revision = revision::Next();
}

void Record::SetRecord(int index, const QString& data)
{
    checkIndex(index);
    std::array<QStringView, FieldCount> fields;
    for (int i = 0; i < FieldCount; ++i)
        fields[static_cast<size_t>(i)] = i == index ? QStringView(data) : Field(i);
    assignFields(fields);
}

FloorSplit SplitFloor(QStringView floorText)
{
    const qsizetype slash = floorText.indexOf(u'/');
    if (slash < 0) return {floorText, {}, false};
    const qsizetype second = floorText.indexOf(u'/', slash + 1);
    return {floorText.left(slash),
            second < 0 ? floorText.mid(slash + 1) : floorText.mid(slash + 1, second - slash - 1), true};
}

void Record::NormalizeData()
{
    const FloorSplit split = SplitFloor(Field(field::Floor));
    if (!split.combined) return;
    std::array<QStringView, FieldCount> fields;
    for (int i = 0; i < FieldCount; ++i)
        fields[static_cast<size_t>(i)] = Field(i);
    fields[field::Floor] = split.floor;
    fields[field::Storeys] = split.storeys;
    assignFields(fields);
}

bool Record::AssignLine(QString line, int& pieces)
{
    // Pieces after the 18th are dropped; a line needs at least 18 of them.
    const QChar* data = line.constData();
    const qsizetype size = line.size();
    int found = 0;
    qsizetype cut = size;
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] == u'|') {
            if (found == FieldCount - 1) {
                cut = i;
                break;
            }
            m_end[static_cast<size_t>(found++)] = static_cast<quint32>(i);
        }
    }
    if (found < FieldCount - 1) {
        pieces = size == 0 ? 0 : found + 1;
        return false;
    }
    m_end[FieldCount - 1] = static_cast<quint32>(cut);
    line.truncate(cut);
    m_text = std::move(line);
    m_revision = revision::Next();
    pieces = FieldCount;
    return true;
}

void Record::AppendLine(QByteArray& out) const
{
    for (int i = 0; i < FieldCount; ++i) {
        textfile::AppendFieldCp1251(out, Field(i));
        out.append('|');
    }
    out.append("\r\n", 2);
}

QString CellText(const Record& r, const fieldinfo::Column& column)
{
    QString cell = r.Field(column.parts[0]).toString();
    for (int p = 1; p < column.partCount; ++p) {
        cell += u'/';
        cell += r.Field(column.parts[static_cast<size_t>(p)]);
    }
    return cell;
}
