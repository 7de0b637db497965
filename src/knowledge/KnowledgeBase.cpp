// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/KnowledgeBase.h"

#include "platform/AtomicWriter.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/LineReader.h"
#include "platform/Parallel.h"
#include "platform/Text.h"
#include "store/Fields.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------

void AttributeValueList::check(int position) const
{
    decoded();
    if (position < 1 || position > Count())
        throw VestranaError::outOfRange(
            QStringLiteral("значение %1 атрибута (всего значений %2)").arg(position).arg(Count()));
}

const QString& AttributeValueList::Value(int position) const
{
    check(position);
    return m_values[position - 1];
}

const QString& AttributeValueList::Score(int position) const
{
    check(position);
    return m_scores[position - 1];
}

void AttributeValueList::SetScore(int position, const QString& score)
{
    check(position);
    m_scores[position - 1] = score;
    m_revision = revision::Next();
}

size_t AttributeValueList::hashOf(QStringView value)
{
    // A fixed non-zero seed selects Qt's fast hardware hash where the
    // processor has one; the unseeded hash is the much slower SipHash.
    return qHash(value, size_t(0x9E3779B97F4A7C15ULL));
}

int AttributeValueList::find(QStringView value, size_t hash) const
{
    return m_index.Find(hash, [&](int index) { return QStringView(m_values[index]) == value; });
}

void AttributeValueList::rebuild() const
{
    decoded();
    m_index.Reset(m_hashes.size());
    for (size_t i = 0; i < m_hashes.size(); ++i) {
        const QStringView value = m_values[qsizetype(i)];
        m_index.Insert(m_hashes[i], int(i), [&](int index) { return QStringView(m_values[index]) == value; });
    }
    m_indexValid = true;
}

void AttributeValueList::append(QString value, const QString& score, size_t hash, bool first)
{
    m_values.append(std::move(value));
    m_scores.append(score);
    m_hashes.push_back(hash);
    m_revision = revision::Next();
    if (m_indexValid && first) m_index.Add(hash, int(m_values.size() - 1));
}

void AttributeValueList::AppendRaw(const QByteArray& block, const RawValue* values, size_t count)
{
    if (count == 0) return;
    if (m_rawBlocks.isEmpty() || m_rawBlocks.last().constData() != block.constData())
        m_rawBlocks.append(block);
    m_raw.insert(m_raw.end(), values, values + count);
    m_revision = revision::Next();
}

void AttributeValueList::decode() const
{
    // Decoded side by side in parts, then appended in order. Most formalized
    // values are one and the same text ("0" after a re-index): within a part,
    // equal neighbours share one string.
    const size_t n = m_raw.size();
    std::vector<QString> values(n), scores(n);
    std::vector<size_t> hashes(n);
    parallel::For(0, int(n), 16384, [&](int begin, int end) {
        QByteArrayView lastBytes;
        QString last;
        for (int i = begin; i < end; ++i) {
            const RawValue& r = m_raw[size_t(i)];
            values[size_t(i)] = textfile::FromCp1251(r.value, r.valueSize);
            hashes[size_t(i)] = hashOf(values[size_t(i)]);
            const QByteArrayView bytes(r.value + r.valueSize + 1, r.scoreSize);
            if (last.isNull() || bytes != lastBytes) {
                lastBytes = bytes;
                last = textfile::FromCp1251(bytes.data(), bytes.size());
            }
            scores[size_t(i)] = last;
        }
    });
    m_values.reserve(m_values.size() + qsizetype(n));
    m_scores.reserve(m_scores.size() + qsizetype(n));
    for (size_t i = 0; i < n; ++i) {
        m_values.append(std::move(values[i]));
        m_scores.append(std::move(scores[i]));
    }
    m_hashes.insert(m_hashes.end(), hashes.begin(), hashes.end());
    m_raw.clear();
    m_raw.shrink_to_fit();
    m_rawBlocks.clear();
    m_indexValid = false;
}

void AttributeValueList::Append(const QString& value, const QString& score)
{
    decoded();
    const size_t hash = hashOf(value);
    append(value, score, hash, !m_indexValid || find(value, hash) < 0);
}

bool AttributeValueList::AppendIfAbsent(QStringView value, const QString& score)
{
    decoded();
    if (!m_indexValid) rebuild();
    const size_t hash = hashOf(value);
    if (find(value, hash) >= 0) return false;
    append(value.toString(), score, hash, true);
    return true;
}

void AttributeValueList::Remove(int position)
{
    check(position);
    m_values.removeAt(position - 1);
    m_scores.removeAt(position - 1);
    m_hashes.erase(m_hashes.begin() + (position - 1));
    m_indexValid = false; // positions after it moved; rebuilt on the next lookup
    m_revision = revision::Next();
}

void AttributeValueList::Clear()
{
    m_raw.clear();
    m_rawBlocks.clear();
    m_values.clear();
    m_scores.clear();
    m_hashes.clear();
    m_index.Reset(0);
    m_indexValid = true;
    m_revision = revision::Next();
}

int AttributeValueList::IndexOf(QStringView value) const
{
    decoded();
    if (!m_indexValid) rebuild();
    return find(value, hashOf(value));
}

// ---------------------------------------------------------------------------

const field::FieldArray<QString, field::Attributes>& DefaultAttributeNames()
{
    static const field::FieldArray<QString, field::Attributes> names = [] {
        field::FieldArray<QString, field::Attributes> out;
        for (field::Field k : field::AttributeFields)
            out[k] = QString::fromUtf16(fieldinfo::Names[k]);
        return out;
    }();
    return names;
}

void KnowledgeBase::CheckIndex(field::Field k)
{
    if (field::Index(k) < 0 || field::Index(k) >= Slots)
        throw VestranaError::outOfRange(
            QStringLiteral("атрибут %1 (допустимо от 0 до 17)").arg(field::Index(k)));
}

namespace {

const QString kValuesMarker = QStringLiteral("AttributeValues");
const QString kTypesMarker = QStringLiteral("AttributeType");

// A piece of a bad line as a message quotes it: short, control characters
// (as in a binary file) shown as "?".
QString shown(const QString& s)
{
    QString out = s.left(40);
    for (QChar& c : out)
        if (c.unicode() < 0x20) c = u'?';
    return s.size() > 40 ? out + QStringLiteral("…") : out;
}

// Reads the file strictly: a line that is neither a marker nor a well-formed
// entry of its section stops the load with an error naming the line, so that a
// file in another layout is never taken for an empty knowledge base (and then
// saved over).
class KnowledgeReader
{
public:
    explicit KnowledgeReader(textfile::LineReader& in) : m_in(in) {}

    bool atEnd() { return m_pending == m_pendingEnd && m_in.AtEndOfStream(); }
    void next()
    {
        if (m_pending != m_pendingEnd) {
            const QByteArrayView line = textfile::NextLine(m_pending, m_pendingEnd);
            m_line = textfile::FromCp1251(line.data(), line.size());
            ++m_lineNumber;
        } else {
            m_line = m_in.ReadLine();
            m_lineNumber = m_in.LineNumber();
        }
        m_pieces = m_line.isEmpty() ? QStringList() : m_line.split(u'|');
    }
    // Whole lines already taken from the file (by a block read) that are to be
    // read before the file's next line; `before` is the number of the line
    // preceding them.
    void setPending(const char* begin, const char* end, qint64 before)
    {
        m_pending = begin;
        m_pendingEnd = end;
        m_lineNumber = before;
    }
    bool hasPending() const { return m_pending != m_pendingEnd; }
    const QString& line() const { return m_line; }
    bool blank() const
    {
        return std::all_of(m_line.begin(), m_line.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
    }

    // At a blank line: true when only blank lines follow (they are ignored),
    // otherwise the error for a blank line in the middle of the file.
    bool trailingBlank()
    {
        const qint64 at = m_lineNumber;
        if (textfile::OnlyBlankBytes(m_pending, m_pendingEnd)) {
            m_pending = m_pendingEnd;
            if (m_in.OnlyBlankLinesLeft()) return true;
        }
        failAt(at, VestranaError::Kind::Format,
               QStringLiteral("пустая строка; пустые строки бывают только в конце файла"));
    }

    const QString& piece(int i, const char* what) const
    {
        if (i >= m_pieces.size())
            fail(VestranaError::Kind::OutOfRange,
                 QStringLiteral("в строке нет части %1 (%2); части разделяются знаком «|»")
                     .arg(i + 1)
                     .arg(QString::fromUtf8(what)));
        return m_pieces[i];
    }

    // "|" and the pieces after the first `count`, as the line had them
    // (empty when it has no more).
    QString tail(int count) const
    {
        if (m_pieces.size() <= count) return QString();
        return u'|' + m_pieces.mid(count).join(u'|');
    }

    field::Field index() const
    {
        const QString& p = piece(0, "номер атрибута");
        if (!text::IsNumber(p))
            fail(VestranaError::Kind::Format,
                 QStringLiteral("в начале строки должен стоять номер атрибута, а стоит «%1»%2")
                     .arg(shown(p), markerHint()));
        const double v = text::RoundHalfEven(text::Val(p));
        if (!(std::fabs(v) <= 2147483647.0))
            fail(VestranaError::Kind::Overflow, QStringLiteral("номер атрибута слишком велик"));
        const int k = static_cast<int>(v);
        if (k < 0 || k >= KnowledgeBase::Slots)
            fail(VestranaError::Kind::OutOfRange,
                 QStringLiteral("номер атрибута %1 вне диапазона от 0 до 17").arg(k));
        return field::At(k);
    }

    float single(int i, const char* what) const
    {
        const QString& p = piece(i, what);
        if (!text::IsNumber(p))
            fail(
                VestranaError::Kind::Format,
                QStringLiteral("%1 должно быть числом, а стоит «%2»").arg(QString::fromUtf8(what), shown(p)));
        const double v = text::Val(p);
        if (!text::FitsSingle(v))
            fail(VestranaError::Kind::Overflow, QStringLiteral("число «%1» слишком велико").arg(shown(p)));
        return static_cast<float>(v);
    }

    // A marker that stands where the layout has none.
    [[noreturn]] void misplacedMarker(const QString& why) const
    {
        fail(VestranaError::Kind::Format,
             QStringLiteral("метка «%1» здесь не на месте: %2").arg(m_line, why));
    }

    // A line that is meant as a marker but differs in letter case or spaces;
    // with `only`, just that marker is considered.
    QString markerHint(const QString* only = nullptr) const
    {
        const QString folded = m_line.trimmed().toLower();
        for (const QString& m : {kValuesMarker, kTypesMarker})
            if ((!only || *only == m) && folded == m.toLower())
                return QStringLiteral(" (метка пишется точно так: «%1», без пробелов и с такими же буквами)")
                    .arg(m);
        return QString();
    }

    [[noreturn]] void fail(VestranaError::Kind kind, const QString& what) const
    {
        failAt(m_lineNumber, kind, what);
    }
    [[noreturn]] void failAt(qint64 line, VestranaError::Kind kind, const QString& what) const
    {
        throw VestranaError(kind, QStringLiteral("Файл «%1», строка %2: %3")
                                      .arg(QDir::toNativeSeparators(m_in.Path()))
                                      .arg(line)
                                      .arg(what));
    }

    textfile::LineReader& reader() { return m_in; }

private:
    textfile::LineReader& m_in;
    QString m_line;
    QStringList m_pieces;
    qint64 m_lineNumber = 0;
    const char* m_pending = nullptr;
    const char* m_pendingEnd = nullptr;
};

} // namespace

void KnowledgeBase::LoadKnowledge(const QString& path, bool createIfMissing, const LoadOptions& options)
{
    textfile::LineReader in(path, createIfMissing);
    load(in, options);
}

void KnowledgeBase::LoadKnowledgeBytes(const QString& name, QByteArray bytes, const LoadOptions& options)
{
    textfile::LineReader in(name, std::move(bytes));
    load(in, options);
}

namespace {

// The plain value lines of a run of whole lines, up to the first other one.
struct ValueRun
{
    struct Entry
    {
        field::Field k;
        AttributeValueList::RawValue raw; // pointing into the block read
    };
    std::vector<Entry> entries;
    const char* stop = nullptr; // the first line not parsed, or the end
};

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

// A plain value line: an index of one or two digits (0 to 17), with or without
// one space before it, "|", the value, "|", the formalized value, and the end.
// (A line with pieces after the third goes to the strict reader, which keeps
// them.) It reads exactly as the strict reader reads it.
void parseValues(const char* p, const char* end, ValueRun& out)
{
    out.entries.clear();
    while (p < end) {
        const char* start = p;
        const QByteArrayView line = textfile::NextLine(p, end);
        const char* lineEnd = line.data() + line.size();
        const char* q = line.data();
        if (q < lineEnd && *q == ' ') ++q; // the file writes numbers with a leading space
        int k = -1;
        if (q < lineEnd && digit(*q)) {
            k = *q++ - '0';
            if (q < lineEnd && digit(*q)) k = k * 10 + (*q++ - '0');
        }
        if (k < 0 || k >= KnowledgeBase::Slots || q == lineEnd || *q != '|') {
            p = start;
            break;
        }
        const char* value = q + 1;
        const auto* bar =
            static_cast<const char*>(std::memchr(value, '|', static_cast<size_t>(lineEnd - value)));
        if (!bar) {
            p = start;
            break;
        }
        const char* score = bar + 1;
        if (std::memchr(score, '|', static_cast<size_t>(lineEnd - score))) {
            p = start;
            break;
        }
        out.entries.push_back({field::At(k), {value, quint32(bar - value), quint32(lineEnd - score)}});
    }
    out.stop = p;
}

} // namespace

void KnowledgeBase::load(textfile::LineReader& file, const LoadOptions& options)
{
    // The whole file at once: the lists keep pieces of it, undecoded, until
    // they are first looked at.
    file.ReadWhole();
    const QByteArray whole = file.Bytes();

    // Hands a run's entries to their lists in file order, counting its lines.
    field::FieldArray<std::vector<AttributeValueList::RawValue>> byList;
    const auto appendValues = [&](const ValueRun& run, qint64& lines) {
        for (auto& list : byList)
            list.clear();
        for (const ValueRun::Entry& e : run.entries)
            byList[e.k].push_back(e.raw);
        for (field::Field k : field::AllFields)
            AttributeValueLists[k].AppendRaw(whole, byList[k].data(), byList[k].size());
        lines += qint64(run.entries.size());
    };

    KnowledgeReader in(file);

    // An empty file (or one of blank lines only) is an empty knowledge base.
    if (in.atEnd()) return;
    in.next();
    if (in.blank() && in.trailingBlank()) return;
    if (in.line() != kValuesMarker) {
        // Only the expected marker may be hinted at: a file that starts with the
        // other one has its sections the wrong way round, not a misspelling.
        QString why = in.markerHint(&kValuesMarker);
        if (why.isEmpty()) why = QStringLiteral(", а стоит «%1»").arg(shown(in.line()));
        if (in.line().trimmed().compare(kTypesMarker, Qt::CaseInsensitive) == 0)
            why += QStringLiteral(": разделы файла стоят в обратном порядке, раздел «%1» должен идти "
                                  "после раздела «%2»")
                       .arg(kTypesMarker, kValuesMarker);
        in.fail(VestranaError::Kind::Format,
                QStringLiteral("первая строка файла базы знаний должна быть «%1»%2").arg(kValuesMarker, why));
    }

    // The range lines: 17 of them, taken by their index.
    for (int n = 0; n < Attributes; ++n) {
        if (in.atEnd())
            throw VestranaError(VestranaError::Kind::ReadPastEnd,
                                QStringLiteral("Файл «%1»: файл кончается на строке %2, внутри 17 строк "
                                               "диапазонов значений")
                                    .arg(QDir::toNativeSeparators(file.Path()))
                                    .arg(file.LineNumber()));
        in.next();
        if (in.line() == kTypesMarker) {
            // The layout ends the load here; anything after it would be dropped
            // and lost at the next save.
            if (file.OnlyBlankLinesLeft()) return;
            in.misplacedMarker(
                QStringLiteral("перед ней должны быть 17 строк диапазонов, а их %1, и строки после "
                               "неё не были бы прочитаны")
                    .arg(n));
        }
        if (in.blank() && in.trailingBlank())
            throw VestranaError(VestranaError::Kind::ReadPastEnd,
                                QStringLiteral("Файл «%1»: файл кончается на строке %2, внутри 17 строк "
                                               "диапазонов значений")
                                    .arg(QDir::toNativeSeparators(file.Path()))
                                    .arg(file.LineNumber()));
        if (in.line() == kValuesMarker)
            in.misplacedMarker(QStringLiteral("она бывает только в первой строке"));
        const field::Field k = in.index();
        AttributeMax[k] = in.single(1, "наибольшее значение");
        AttributeMin[k] = in.single(2, "наименьшее значение");
        RangeTails[k] = in.tail(3);
    }

    // The value lines, up to the second marker: the bulk of a large file. They
    // are read in blocks and split on the bytes, the two halves of a block side
    // by side; from the first line that is not a plain value line on (a marker,
    // a blank line, an index written otherwise, a fault), the block's lines go
    // through the strict reader one by one.
    ValueRun first, second;
    for (;;) {
        if (!in.hasPending()) {
            const qint64 base = file.LineNumber();
            const QByteArrayView block = file.ReadBlock(options.blockBytes);
            if (!block.isEmpty()) {
                const char* begin = block.data();
                const char* end = begin + block.size();
                const char* mid =
                    block.size() >= options.blockBytes / 2 ? textfile::SecondHalf(begin, end) : end;
                parallel::SideBySide(
                    mid != end && options.TwoThreads(), [&] { parseValues(begin, mid, first); },
                    [&] { parseValues(mid, end, second); });
                qint64 lines = base;
                const char* stop = first.stop;
                appendValues(first, lines);
                if (stop == mid && mid != end) {
                    stop = second.stop;
                    appendValues(second, lines);
                }
                if (stop == end) continue;
                in.setPending(stop, end, lines);
            }
        }
        if (in.atEnd()) return;
        in.next();
        if (in.line() == kTypesMarker) break;
        if (in.blank() && in.trailingBlank()) return;
        if (in.line() == kValuesMarker)
            in.misplacedMarker(QStringLiteral("она бывает только в первой строке"));
        const field::Field k = in.index();
        const QString& value = in.piece(1, "значение");
        const QString& score = in.piece(2, "формализованное значение");
        AttributeValueLists[k].Append(value, score);
        if (QString tail = in.tail(3); !tail.isEmpty()) ValueTails[k].insert(value, tail);
    }

    // The type lines, to the end of the file.
    while (!in.atEnd()) {
        in.next();
        if (in.blank() && in.trailingBlank()) return;
        if (in.line() == kValuesMarker || in.line() == kTypesMarker)
            in.misplacedMarker(
                QStringLiteral("после «%1» до конца файла идут только строки типов").arg(kTypesMarker));
        const field::Field k = in.index();
        AttributeKinds[k] = in.piece(1, "тип");
        AttributeFormulas[k] = in.piece(2, "формула");
        AttributeComments[k] = in.piece(3, "комментарий");
        TypeTails[k] = in.tail(4);
    }
}

namespace {

// The file as SaveKnowledge writes it, into any sink of windows-1251 lines.
template <class Lines> void writeKnowledge(const KnowledgeBase& kb, Lines& out)
{
    auto index = [](field::Field k) { return text::NumberText(field::Index(k)); };
    out.WriteLine(kValuesMarker);
    for (field::Field k : field::AttributeFields)
        out.WriteLine(QString(index(k) + u'|' + text::GeneralNumber(kb.AttributeMax[k]) + u'|' +
                              text::GeneralNumber(kb.AttributeMin[k]) + kb.RangeTails[k]));
    for (field::Field k : field::AttributeFields) {
        const AttributeValueList& list = kb.AttributeValueLists[k];
        const QString prefix = index(k) + u'|';
        const QHash<QString, QString>& tails = kb.ValueTails[k];
        for (int p = 0; p < list.Count(); ++p) {
            const QString& value = list.Values()[p];
            out.WriteLine(QString(prefix + text::FileSafe(value) + u'|' + text::FileSafe(list.Scores()[p]) +
                                  (tails.isEmpty() ? QString() : tails.value(value))));
        }
    }
    out.WriteLine(kTypesMarker);
    for (field::Field k : field::AttributeFields)
        out.WriteLine(QString(index(k) + u'|' + text::FileSafe(kb.AttributeKinds[k].Text()) + u'|' +
                              text::FileSafe(kb.AttributeFormulas[k]) + u'|' +
                              text::FileSafe(kb.AttributeComments[k]) + kb.TypeTails[k]));
}

struct ByteLines
{
    QByteArray bytes;
    void WriteLine(QStringView line)
    {
        textfile::AppendCp1251(bytes, line);
        bytes.append("\r\n", 2);
    }
};

// Compares the lines with a file's, reading no further than the first difference.
struct CompareLines
{
    QFile& file;
    bool same = true;
    QByteArray line = {}, disk = {};
    void WriteLine(QStringView text)
    {
        if (!same) return;
        line.clear();
        textfile::AppendCp1251(line, text);
        line.append("\r\n", 2);
        disk.resize(line.size());
        same = file.read(disk.data(), line.size()) == line.size() && disk == line;
    }
};

} // namespace

bool KnowledgeBase::FileHolds(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    CompareLines out{file};
    writeKnowledge(*this, out);
    char extra;
    return out.same && file.read(&extra, 1) == 0;
}

void KnowledgeBase::SaveKnowledge(const QString& path) const
{
    textfile::AtomicWriter out(path);
    writeKnowledge(*this, out);
    out.Commit();
}

QByteArray KnowledgeBase::SaveKnowledgeBytes() const
{
    ByteLines out;
    writeKnowledge(*this, out);
    return out.bytes;
}
