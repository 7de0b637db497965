#include "store/Records.h"

#include "platform/Errors.h"
#include "platform/TextFile.h"

#include <QDir>

#include <algorithm>

const RecordPtr& RecordList::Item(int position) const
{
    if (position < 1 || position > Count())
        throw VestranaError::outOfRange(QStringLiteral("запись %1 (в базе %2)").arg(position).arg(Count()));
    return m_items[static_cast<size_t>(position - 1)];
}

void RecordList::Remove(int position)
{
    if (position < 1 || position > Count())
        throw VestranaError::outOfRange(QStringLiteral("запись %1 (в базе %2)").arg(position).arg(Count()));
    m_items.erase(m_items.begin() + (position - 1));
}

void Records::SaveToFile(const QString& fileName) const
{
    textfile::AtomicWriter out(fileName);
    QByteArray chunk;
    chunk.reserve(1 << 20);
    for (const RecordPtr& r : Items) {
        r->AppendLine(chunk);
        if (chunk.size() >= (1 << 20)) {
            out.WriteBytes(chunk);
            chunk.clear();
        }
    }
    out.WriteBytes(chunk);
    out.Commit();
}

void Records::ClearFinded()
{
    for (const RecordPtr& r : Items) {
        r->Finded = false;
        r->So = 0;
    }
}

void Records::Clear()
{
    Items.Clear();
}

void Records::LoadFromFile(const QString& fileName, bool createIfMissing)
{
    textfile::LineReader in(fileName, createIfMissing);
    load(in);
}

void Records::LoadFromBytes(const QString& name, QByteArray bytes)
{
    textfile::LineReader in(name, std::move(bytes));
    load(in);
}

void Records::load(textfile::LineReader& in)
{
    while (!in.AtEndOfStream()) {
        const QByteArrayView bytes = in.ReadLineBytes();
        const qint64 line = in.LineNumber();
        auto record = std::make_shared<Record>();
        int pieces = 0;
        if (!record->AssignLine(textfile::FromCp1251(bytes.data(), bytes.size()), pieces)) {
            // Editors like to end a file with a blank line: blank lines at the
            // end hold no listing and are ignored.
            const bool blank =
                std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == ' ' || c == '\t'; });
            if (blank && in.OnlyBlankLinesLeft()) return;
            throw VestranaError(VestranaError::Kind::OutOfRange,
                                QStringLiteral("Файл «%1», строка %2: полей %3, а нужно 18 (каждое поле "
                                               "заканчивается знаком «|»)")
                                    .arg(QDir::toNativeSeparators(in.Path()))
                                    .arg(line)
                                    .arg(pieces));
        }
        record->NormalizeData();
        Items.Add(std::move(record));
    }
}
