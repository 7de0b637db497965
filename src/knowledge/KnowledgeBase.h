// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "knowledge/Kinds.h"
#include "platform/LoadOptions.h"
#include "platform/OpenHash.h"
#include "platform/Revision.h"
#include "store/Fields.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace textfile {
class LineReader;
}

// The accepted values of one attribute together with their formalized values
// (the two parallel tables of the knowledge base), plus an index for the exact
// lookup that keeps the first occurrence of a text.
class AttributeValueList
{
public:
    int Count() const { return static_cast<int>(m_values.size() + m_raw.size()); }
    // 1-based access, as the rest of the program counts; out of range raises an error.
    const QString& Value(int position) const;
    const QString& Score(int position) const;
    void SetScore(int position, const QString& score);
    void Append(const QString& value, const QString& score);
    // Appends `value` with `score` unless an equal value is listed already;
    // true when it was added. One hash for both the lookup and the append.
    bool AppendIfAbsent(QStringView value, const QString& score);
    void Remove(int position);
    void Clear();
    // Appends value lines as the file holds them, windows-1251 bytes inside
    // `block` (which the list keeps): a value and, one byte after it, its
    // formalized value. They are decoded at the first access of any other
    // kind, so that loading a list nobody looks at costs only its bytes. Like
    // the index, that happens inside a const access: the first access must
    // not come from two threads at once.
    struct RawValue
    {
        const char* value;
        quint32 valueSize;
        quint32 scoreSize;
    };
    void AppendRaw(const QByteArray& block, const RawValue* values, size_t count);

    // 0-based position of the first entry equal to `value` (exact comparison),
    // or -1. Hash lookup: the re-index and the scoring call this for every listing.
    int IndexOf(QStringView value) const;

    const QStringList& Values() const
    {
        decoded();
        return m_values;
    }
    const QStringList& Scores() const
    {
        decoded();
        return m_scores;
    }

    // The mark of the list's present state (platform/Revision.h): new after
    // every change, kept by a copy.
    quint64 Revision() const { return m_revision; }

private:
    void decoded() const
    {
        if (!m_raw.empty()) decode();
    }
    void decode() const;
    void check(int position) const;
    void append(QString value, const QString& score, size_t hash, bool first);
    static size_t hashOf(QStringView value);
    int find(QStringView value, size_t hash) const;
    void rebuild() const;

    // Decoded values come first, then the raw ones (decoded at the next access).
    mutable QStringList m_values;
    mutable QStringList m_scores;
    quint64 m_revision = revision::Next();
    // The hash of every decoded value, in parallel, so that growing the index
    // never touches the texts again.
    mutable std::vector<size_t> m_hashes;
    mutable std::vector<RawValue> m_raw;
    mutable QList<QByteArray> m_rawBlocks; // keeps the bytes m_raw points into
    // The first occurrence of each text by its hash. A removal marks it stale.
    mutable PositionIndex m_index;
    mutable bool m_indexValid = true;
};

// An attribute's kind as the knowledge base holds it: the text exactly as read
// or set (so that knows.txt is written back byte for byte), parsed once.
class AttributeKind
{
public:
    AttributeKind() = default;
    AttributeKind(const QString& text) : m_text(text), m_kind(kinds::Parse(text)) {}
    AttributeKind& operator=(const QString& text)
    {
        m_text = text;
        m_kind = kinds::Parse(text);
        return *this;
    }

    Kind Id() const { return m_kind; }
    const QString& Text() const { return m_text; }
    operator const QString&() const { return m_text; }

    bool operator==(Kind kind) const { return m_kind == kind; }
    bool operator==(const QString& text) const { return m_text == text; }

private:
    QString m_text;
    Kind m_kind = Kind::Other;
};

// The program-wide knowledge-base tables, a slot per field (field::Reserved's belongs to no attribute).
class KnowledgeBase
{
public:
    static constexpr int Slots = field::Count;
    static constexpr int Attributes = field::Attributes;

    field::FieldArray<QString> AttributeNames;
    field::FieldArray<AttributeKind> AttributeKinds;
    field::FieldArray<QString> AttributeFormulas;
    field::FieldArray<QString> AttributeComments;
    // Accepted values with their formalized values (AttributeValueScores) in parallel.
    field::FieldArray<AttributeValueList> AttributeValueLists;
    field::FieldArray<float> AttributeMax{};
    field::FieldArray<float> AttributeMin{};
    // What a line of knows.txt had after its last piece ("|" and the rest, as
    // it stood; empty for most), written back after that line: a column added
    // in a spreadsheet survives a save. By attribute for the range and type
    // lines, by attribute and value text for the value lines.
    field::FieldArray<QString> RangeTails;
    field::FieldArray<QString> TypeTails;
    field::FieldArray<QHash<QString, QString>> ValueTails;

    // Raises the out-of-range error for a slot outside the tables (field::At of a bad number).
    static void CheckIndex(field::Field k);

    // Reads knows.txt into the tables (a missing file is created empty, or read
    // as empty without createIfMissing). A file that is not empty must have the
    // layout SaveKnowledge writes: the values marker first, then only markers
    // and well-formed entries of their sections (blank lines at the end aside);
    // anything else is an error naming the file, the line and what is wrong.
    // The value lines are read in blocks of `options.blockBytes`.
    void LoadKnowledge(const QString& path, bool createIfMissing = true, const LoadOptions& options = {});
    // The same over the bytes of such a file; `name` stands for it in messages.
    void LoadKnowledgeBytes(const QString& name, QByteArray bytes, const LoadOptions& options = {});
    // Writes the tables to knows.txt atomically.
    void SaveKnowledge(const QString& path) const;
    // The bytes SaveKnowledge writes.
    QByteArray SaveKnowledgeBytes() const;
    // Whether the file already holds exactly those bytes; compared line by
    // line as they are made, up to the first difference. A missing file: false.
    bool FileHolds(const QString& path) const;

private:
    void load(textfile::LineReader& in, const LoadOptions& options);
};

// The fixed attribute names.
const field::FieldArray<QString, field::Attributes>& DefaultAttributeNames();
