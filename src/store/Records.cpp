// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "store/Records.h"

#include "platform/AtomicWriter.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/LineReader.h"
#include "platform/Parallel.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>

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

namespace {

void encode(const RecordList& items, int from, int to, QByteArray& out)
{
    out.clear();
    for (int i = from; i < to; ++i)
        items.at(i)->AppendLine(out);
}

} // namespace

namespace {

// Encodes the listings in batches, in file order, handing each batch to
// `put` (on the calling thread), which returns false to stop. Rounds of two
// batches: the second is encoded on a helper while this thread hands over
// the previous round's second, then encodes and hands over the first; so
// every write overlaps an encoding.
template <typename Put>
void encodeInBatches(const RecordList& items, const Records::Progress& progress, const LoadOptions& options,
                     Put&& put)
{
    constexpr int kBatch = 8192;
    const bool parallel = options.TwoThreads() && items.Count() > kBatch;
    QByteArray first;
    std::array<QByteArray, 2> seconds;
    first.reserve(4 << 20);
    for (QByteArray& b : seconds)
        b.reserve(4 << 20);
    const int count = items.Count();
    size_t current = 0;
    bool pending = false; // seconds[current ^ 1] waits to be handed over
    bool going = true;
    for (int from = 0; from < count && going; from += 2 * kBatch) {
        const int mid = std::min(count, from + kBatch);
        const int to = std::min(count, from + 2 * kBatch);
        QByteArray& mine = seconds[current];
        const QByteArray& previous = seconds[current ^ 1];
        parallel::SideBySide(
            parallel,
            [&] {
                if (pending && !put(previous)) {
                    going = false;
                    return;
                }
                encode(items, from, mid, first);
                going = put(first);
            },
            [&] { encode(items, mid, to, mine); });
        pending = true;
        current ^= 1;
        if (progress) progress(from, count);
    }
    if (pending && going) put(seconds[current ^ 1]);
    if (progress) progress(count, count);
}

} // namespace

quint64 Records::stateMark() const
{
    // Order matters: the same listings in another order make another file.
    quint64 h = 0x9E3779B97F4A7C15ull ^ quint64(Items.Count());
    for (const RecordPtr& r : Items)
        h = (h ^ r->Revision()) * 0x100000001B3ull + 0x632BE59BD9B4E019ull;
    return h;
}

void Records::SaveToFile(const QString& fileName, const Progress& progress, const LoadOptions& options) const
{
    textfile::AtomicWriter out(fileName);
    encodeInBatches(Items, progress, options, [&](const QByteArray& batch) {
        out.WriteBytes(batch);
        return true;
    });
    out.Commit();
    m_fileMark = stateMark();
}

bool Records::FileHolds(const QString& fileName, const Progress& progress, const LoadOptions& options) const
{
    if (stateMark() != m_fileMark) return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    bool same = true;
    QByteArray disk;
    encodeInBatches(Items, progress, options, [&](const QByteArray& batch) {
        disk.resize(batch.size());
        same = file.read(disk.data(), batch.size()) == batch.size() && disk == batch;
        return same;
    });
    // Nothing may follow the listings in the file.
    char extra;
    return same && file.read(&extra, 1) == 0;
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

void Records::LoadFromFile(const QString& fileName, bool createIfMissing, const Progress& progress,
                           const LoadOptions& options)
{
    textfile::LineReader in(fileName, createIfMissing);
    load(in, progress, options);
    m_fileMark = stateMark();
}

void Records::LoadFromBytes(const QString& name, QByteArray bytes, const LoadOptions& options)
{
    textfile::LineReader in(name, std::move(bytes));
    load(in, {}, options);
}

namespace {

// The listings decoded from a run of whole lines, up to the first bad one:
// into `records`, or for a scan into the first `lent` of `scratch` (which a
// scan reuses from block to block).
struct Decoded
{
    std::vector<RecordPtr> records;
    std::vector<Record> scratch;
    size_t lent = 0;
    bool failed = false;
    int pieces = 0;
    QByteArrayView badLine;     // without its end
    const char* rest = nullptr; // after the bad line's end
};

// Decodes the lines of [p, end) with `decode(line)` (false for a bad line),
// stopping at the first bad one.
template <typename Decode> void decodeRun(const char* p, const char* end, Decoded& out, Decode&& decode)
{
    while (p < end) {
        const QByteArrayView line = textfile::NextLine(p, end);
        if (!decode(line)) {
            out.failed = true;
            out.badLine = line;
            out.rest = p;
            return;
        }
    }
}

// Into new listings.
void decodeLines(const char* p, const char* end, Decoded& out)
{
    decodeRun(p, end, out, [&](QByteArrayView line) {
        RecordPtr record = Record::FromLineCp1251(line.data(), line.size(), out.pieces);
        if (!record) return false;
        out.records.push_back(std::move(record));
        return true;
    });
}

// Into the scan's records, read into again block after block.
void decodeScratch(const char* p, const char* end, Decoded& out)
{
    decodeRun(p, end, out, [&](QByteArrayView line) {
        if (out.lent == out.scratch.size()) out.scratch.emplace_back();
        if (!out.scratch[out.lent].AssignLineCp1251(line.data(), line.size(), out.pieces)) return false;
        ++out.lent;
        return true;
    });
}

// Makes a run ready for the next block, keeping a scan's records.
void reset(Decoded& d)
{
    d.records.clear();
    d.lent = 0;
    d.failed = false;
    d.pieces = 0;
    d.badLine = {};
    d.rest = nullptr;
}

// What the user can do about a line that does not load.
const QString kRepairHint = QStringLiteral(". Нечитаемые строки можно перенести в файл database.rejected.txt "
                                           "командой «vestrana-cli repair»");

bool blankLine(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// Reads the file's listings block by block. A block's two halves are decoded
// side by side; `visit`, when given, gets each half's listings (with the
// 0-based index of the first) on the thread that decoded them, and then
// `take(first, second, blockBytes)` runs on the calling thread, in file order
// (blockBytes 0 for a line read alone). A bad line raises the error after the
// listings before it were taken; a blank line with only blank lines after it
// ends the file.
template <typename Take>
void readBlocks(textfile::LineReader& in, const Records::Visit* visit, const LoadOptions& options,
                Take&& take)
{
    in.SetLongLineHint(kRepairHint);
    const bool parallel = options.TwoThreads();
    const auto badLine = [&](const Decoded& d, qint64 line, const char* blockEnd) {
        if (blankLine(d.badLine) && textfile::OnlyBlankBytes(d.rest, blockEnd) && in.OnlyBlankLinesLeft())
            return;
        throw VestranaError(VestranaError::Kind::OutOfRange,
                            QStringLiteral("Файл «%1», строка %2: полей %3, а нужно 18 (каждое поле "
                                           "заканчивается знаком «|»)")
                                    .arg(QDir::toNativeSeparators(in.Path()))
                                    .arg(line)
                                    .arg(d.pieces) +
                                kRepairHint);
    };
    Decoded first, second;
    for (;;) {
        const qint64 base = in.LineNumber();
        const QByteArrayView block = in.ReadBlock(options.blockBytes);
        if (block.isEmpty()) {
            if (in.AtEndOfStream()) return;
            // A line longer than a block: read alone, with the reader's checks.
            const QByteArrayView bytes = in.ReadLineBytes();
            reset(first);
            reset(second);
            RecordPtr record = Record::FromLineCp1251(bytes.data(), bytes.size(), first.pieces);
            if (!record) {
                first.badLine = bytes;
                first.rest = bytes.data() + bytes.size();
                badLine(first, in.LineNumber(), first.rest);
                return;
            }
            if (visit)
                (*visit)(std::span<const Record>(record.get(), 1), base);
            else
                first.records.push_back(std::move(record));
            take(first, second, 0);
            continue;
        }
        const char* begin = block.data();
        const char* end = begin + block.size();
        const char* mid =
            parallel && block.size() >= options.blockBytes / 2 ? textfile::SecondHalf(begin, end) : end;
        const qint64 firstLines = mid != end && visit ? textfile::CountLineFeeds(begin, mid - begin) : 0;
        reset(first);
        reset(second);
        const auto half = [&](const char* from, const char* to, Decoded& d, qint64 index) {
            if (!visit) {
                decodeLines(from, to, d);
                return;
            }
            decodeScratch(from, to, d);
            (*visit)(std::span<const Record>(d.scratch.data(), d.lent), index);
        };
        parallel::SideBySide(
            mid != end, [&] { half(begin, mid, first, base); },
            [&] { half(mid, end, second, base + firstLines); });
        take(first, second, block.size());
        const auto decoded = [](const Decoded& d) { return qint64(d.records.size() + d.lent); };
        if (first.failed) {
            badLine(first, base + decoded(first) + 1, end);
            return;
        }
        if (second.failed) {
            const qint64 lines = visit ? firstLines : textfile::CountLineFeeds(begin, mid - begin);
            badLine(second, base + lines + decoded(second) + 1, end);
            return;
        }
    }
}

} // namespace

void Records::load(textfile::LineReader& in, const Progress& progress, const LoadOptions& options)
{
    bool reserved = false;
    const int before = Items.Count();
    qint64 bytesRead = 0;
    const auto tell = [&](qsizetype blockBytes) {
        bytesRead += blockBytes;
        if (!progress || bytesRead <= 0) return;
        const qint64 done = Items.Count() - before;
        progress(done, std::max(done, qint64(double(done) * double(in.Size()) / double(bytesRead))));
    };
    readBlocks(in, nullptr, options, [&](Decoded& first, Decoded& second, qsizetype blockBytes) {
        if (!reserved && !first.failed && !second.failed && blockBytes > 0) {
            // Room for the whole file at the first block's bytes per line, so
            // that the list is not copied as it grows and never stands twice
            // in memory.
            reserved = true;
            const double lines = double(first.records.size() + second.records.size());
            const double estimate = double(in.Size()) * lines / double(blockBytes) * 1.02 + 16;
            Items.Reserve(Items.Count() + int(std::min(estimate, 2e9 - double(Items.Count()))));
        }
        for (Decoded* d : {&first, &second}) {
            for (RecordPtr& r : d->records)
                Items.Add(std::move(r));
            if (d->failed) return;
        }
        tell(blockBytes);
    });
    if (progress) progress(Items.Count() - before, Items.Count() - before);
}

void Records::ScanFile(const QString& fileName, const Visit& visit, const LoadOptions& options)
{
    textfile::LineReader in(fileName, false);
    readBlocks(in, &visit, options, [](Decoded&, Decoded&, qsizetype) {});
}
