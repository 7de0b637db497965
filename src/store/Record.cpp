// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "store/Record.h"
#include "store/Fields.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/Revision.h"
#include "platform/Simd.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

void checkIndex(field::Field f)
{
    const int index = field::Index(f);
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Record::FieldCount))
        throw VestranaError::outOfRange(QStringLiteral("поле %1 записи (допустимо от 0 до 17)").arg(index));
}

} // namespace

Record::Record() : m_revision(revision::Next()) {}

Record::Record(Blank) : m_revision(0) {}

RecordPtr Record::FromLineCp1251(const char* data, qsizetype size, int& pieces)
{
    auto record = std::make_shared<Record>(Blank{});
    if (!record->AssignLineCp1251(data, size, pieces)) return nullptr;
    return record;
}

qsizetype Record::textSize() const
{
    return m_end[0] == kWide ? m_text.size() - kWideTail : m_text.size();
}

QStringView Record::wideField(size_t index) const
{
    std::array<quint32, FieldCount> ends;
    std::memcpy(ends.data(), m_text.constData() + (m_text.size() - kWideTail), sizeof ends);
    const qsizetype start = index == 0 ? 0 : qsizetype(ends[index - 1]);
    return QStringView(m_text.constData() + start, qsizetype(ends[index]) - start);
}

QStringView Record::Extra() const
{
    if (m_end[0] != kWide) return {};
    quint32 fieldsEnd;
    std::memcpy(&fieldsEnd, m_text.constData() + (m_text.size() - 2), sizeof fieldsEnd);
    return QStringView(m_text.constData() + fieldsEnd, textSize() - qsizetype(fieldsEnd));
}

void Record::setEnds(const std::array<quint32, FieldCount>& ends, qsizetype extra)
{
    if (extra == 0 && ends[FieldCount - 1] < kWide) {
        for (size_t i = 0; i + 1 < FieldCount; ++i)
            m_end[i] = static_cast<quint16>(ends[i]);
        return;
    }
    m_end[0] = kWide;
    const qsizetype size = m_text.size();
    m_text.resize(size + kWideTail);
    std::memcpy(static_cast<void*>(m_text.data() + size), ends.data(), sizeof ends);
}

QString Record::GetRecord(field::Field f) const
{
    checkIndex(f);
    return Field(f).toString();
}

void Record::assignFields(const std::array<QStringView, FieldCount>& fields)
{
    // The pieces after the 18th stay with the listing through any change.
    const QStringView extra = Extra();
    qsizetype total = extra.size();
    for (const auto& f : fields)
        total += f.size();
    QString text;
    text.reserve(total);
    std::array<quint32, FieldCount> ends;
    for (int i = 0; i < FieldCount; ++i) {
        text += fields[static_cast<size_t>(i)];
        ends[static_cast<size_t>(i)] = static_cast<quint32>(text.size());
    }
    text += extra;
    m_text = std::move(text);
    setEnds(ends, extra.size());
    m_revision = revision::Next();
}

void Record::SetRecord(field::Field f, const QString& data)
{
    checkIndex(f);
    std::array<QStringView, FieldCount> fields;
    for (size_t i = 0; i < FieldCount; ++i)
        fields[i] = i == field::Slot(f) ? QStringView(data) : fieldAt(i);
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
    for (size_t i = 0; i < FieldCount; ++i)
        fields[i] = fieldAt(i);
    fields[field::Slot(field::Floor)] = split.floor;
    fields[field::Slot(field::Storeys)] = split.storeys;
    assignFields(fields);
}

bool Record::AssignLine(QString line, int& pieces)
{
    // The bars taken out in place (the line is this call's own); pieces after
    // the 18th are kept as they stand, and a line needs at least 18 of them.
    const qsizetype size = line.size();
    QChar* text = line.data();
    std::array<quint32, FieldCount> ends;
    size_t field = 0;
    qsizetype at = 0;
    qsizetype extraFrom = size;
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i] != u'|') {
            text[at++] = text[i];
        } else if (field == FieldCount - 1) {
            extraFrom = i + 1;
            break;
        } else {
            ends[field++] = static_cast<quint32>(at);
        }
    }
    if (field < FieldCount - 1) {
        pieces = size == 0 ? 0 : int(field) + 1;
        return false;
    }
    ends[FieldCount - 1] = static_cast<quint32>(at);
    const qsizetype extra = size - extraFrom;
    if (extra > 0)
        std::memmove(static_cast<void*>(text + at), text + extraFrom, size_t(extra) * sizeof(QChar));
    line.truncate(at + extra);
    m_text = std::move(line);
    setEnds(ends, extra);
    m_revision = revision::Next();
    pieces = FieldCount;
    return true;
}

char16_t* Record::textBuffer(qsizetype size)
{
    // A listing read again and again into the same record (a scan of the
    // file) reuses its text's memory; a text shared with a copy is left to it.
    if (m_text.isDetached() && m_text.capacity() >= size) {
        m_text.resize(size);
    } else {
        m_text = QString(size, Qt::Uninitialized);
    }
    return reinterpret_cast<char16_t*>(m_text.data());
}

bool Record::AssignLineCp1251(const char* data, qsizetype size, int& pieces)
{
    // The bars of the 18 fields ("|" is one byte in windows-1251, and no other
    // byte decodes to it); pieces after the 18th are dropped.
    std::array<qsizetype, FieldCount> bar;
    int found = 0;
    qsizetype scan = 0;
    // Sixteen bytes at a time: the bars stand a dozen bytes apart, too close
    // for a call of memchr each.
    for (; scan + 16 <= size && found < FieldCount; scan += 16)
        for (unsigned mask = simd::Matches16(data + scan, '|'); mask && found < FieldCount; mask &= mask - 1)
            bar[static_cast<size_t>(found++)] = scan + std::countr_zero(mask);
    for (; scan < size && found < FieldCount; ++scan)
        if (data[scan] == '|') bar[static_cast<size_t>(found++)] = scan;
    if (found < FieldCount - 1) {
        pieces = size == 0 ? 0 : found + 1;
        return false;
    }
    if (found == FieldCount - 1) bar[FieldCount - 1] = size;
    pieces = FieldCount;
    // Pieces after the 18th: kept as they stand (rare, so apart from the rest).
    const qsizetype extra = found == FieldCount ? size - bar[FieldCount - 1] - 1 : 0;

    // The fields and their ends, with "floor/storeys" in the floor field split
    // as NormalizeData does, on the bytes ("/" too is one byte that nothing
    // else decodes to).
    const qsizetype floorStart = bar[field::Slot(field::Floor) - 1] + 1;
    const QByteArrayView floorBytes(data + floorStart, bar[field::Slot(field::Floor)] - floorStart);
    const qsizetype slash = floorBytes.indexOf('/');
    textfile::Piece storeys{};
    if (slash >= 0) {
        const qsizetype second = floorBytes.indexOf('/', slash + 1);
        storeys = {floorBytes.data() + slash + 1, (second < 0 ? floorBytes.size() : second) - slash - 1};
    }
    std::array<textfile::Piece, FieldCount> fields;
    std::array<quint32, FieldCount> ends;
    qsizetype total = 0;
    for (size_t i = 0; i < FieldCount; ++i) {
        const qsizetype start = i == 0 ? 0 : bar[i - 1] + 1;
        fields[i] = {data + start, bar[i] - start};
        if (slash >= 0 && i == field::Slot(field::Floor)) fields[i].size = slash;
        if (slash >= 0 && i == field::Slot(field::Storeys)) fields[i] = storeys;
        total += fields[i].size;
        ends[i] = static_cast<quint32>(total);
    }
    char16_t* text = textBuffer(total + extra);
    textfile::DecodeCp1251Joined(fields, data + size, text, total);
    if (extra > 0) textfile::DecodeCp1251(data + size - extra, extra, text + total);
    setEnds(ends, extra);
    m_revision = revision::Next();
    return true;
}

void Record::AppendLine(QByteArray& out) const
{
    if (m_end[0] == kWide && !Extra().isEmpty()) {
        appendLineWithExtra(out);
        return;
    }
    // One resize for the line: no field grows in the file.
    const qsizetype start = out.size();
    out.resize(start + textSize() + FieldCount + 2);
    char* o = out.data() + start;
    for (size_t i = 0; i < FieldCount; ++i) {
        o += textfile::EncodeFieldCp1251(fieldAt(i), o);
        *o++ = '|';
    }
    *o++ = '\r';
    *o++ = '\n';
    out.resize(o - out.constData());
}

void Record::appendLineWithExtra(QByteArray& out) const
{
    for (size_t i = 0; i < FieldCount; ++i) {
        textfile::AppendFieldCp1251(out, fieldAt(i));
        out.append('|');
    }
    // Written back exactly as read, bars and all.
    textfile::AppendCp1251(out, Extra());
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
