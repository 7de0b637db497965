// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <span>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringView>

#include <cstring>

// Windows-1251 text files: the format of both data files.
namespace textfile {

// Decodes windows-1251 bytes.
QString FromCp1251(const char* data, qsizetype size);
inline QString FromCp1251(const QByteArray& b)
{
    return FromCp1251(b.constData(), b.size());
}
// Decodes `size` windows-1251 bytes into out, one character per byte.
void DecodeCp1251(const char* data, qsizetype size, char16_t* out);
// A run of bytes (a plain pair, so that an array of them is not cleared
// before it is filled).
struct Piece
{
    const char* data;
    qsizetype size;
};
// Decodes the pieces one after another into out, joined with nothing between
// them; out has room for exactly their total size. Each piece may be read up
// to 15 bytes past its end, but never at or past inEnd.
void DecodeCp1251Joined(std::span<const Piece> pieces, const char* inEnd, char16_t* out, qsizetype outSize);
// The line that starts at `p` in [p, end), without its end, as LineReader
// reads lines (a line ends at LF, and one CR before it belongs to the end);
// `p` moves past the line's end.
inline QByteArrayView NextLine(const char*& p, const char* end)
{
    const char* start = p;
    const auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* lineEnd = nl ? nl : end;
    p = nl ? nl + 1 : end;
    if (lineEnd > start && lineEnd[-1] == '\r') --lineEnd;
    return QByteArrayView(start, lineEnd - start);
}
// How many line feeds the bytes hold (sixteen bytes at a time).
qsizetype CountLineFeeds(const char* data, qsizetype size);
// Where the second half of a block of whole lines starts, for decoding the
// halves side by side: after the first line end at or past the middle (the
// block's end when there is none).
inline const char* SecondHalf(const char* begin, const char* end)
{
    const char* half = begin + (end - begin) / 2;
    const auto* nl = static_cast<const char*>(std::memchr(half, '\n', static_cast<size_t>(end - half)));
    return nl ? nl + 1 : end;
}
// Whether [p, end) holds only spaces, tabs and line ends.
inline bool OnlyBlankBytes(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
    return true;
}
// Appends the windows-1251 form of s to out; a character the code page lacks
// becomes "?", the code page's substitute.
void AppendCp1251(QByteArray& out, QStringView s);
QByteArray ToCp1251(QStringView s);

// Tells UTF-8 from windows-1251: reads bytes in pieces, split anywhere, and
// stops at the first that UTF-8 cannot hold. A windows-1251 text with Cyrillic
// in it fails at once; only a UTF-8 (or plain ASCII) file is read to its end.
class Utf8Scan
{
public:
    // False from the first byte that is not UTF-8 on; the rest is not read.
    bool Feed(const char* data, qsizetype size);
    // At the end: every byte was UTF-8, and at least one character was not ASCII.
    bool IsUtf8Text() const { return !m_invalid && m_need == 0 && m_nonAscii; }
    bool Invalid() const { return m_invalid; }

private:
    int m_need = 0; // continuation bytes still due
    unsigned char m_lo = 0x80, m_hi = 0xBF;
    bool m_invalid = false;
    bool m_nonAscii = false;
};

// Reads a text file line by line in blocks, so that a large file is never held
// whole in memory. A line ends at CR LF or at a bare LF; the last line may lack
// its end. Opening a missing file creates it empty first, as the program's
// loaders require.
//
// Only a regular file is read (a device or a pipe may never end), no line may be
// longer than MaxLineBytes, and a file that starts with a UTF-8 or UTF-16 byte
// order mark, or that is UTF-8 text throughout, is refused: each is a file
// error naming the file.
class LineReader
{
public:
    // No listing or knowledge-base line comes near this; a longer one means the
    // file is not a data file, and reading on would only fill the memory.
    static constexpr qsizetype MaxLineBytes = qsizetype(8) << 20;

    // Throws the file error (Russian message naming the file) when the file
    // can be neither opened nor created. Without createIfMissing a missing file
    // reads as empty and nothing is created.
    explicit LineReader(const QString& path, bool createIfMissing = true);
    // Reads bytes already in memory; `name` stands for the file in messages.
    LineReader(const QString& name, QByteArray bytes);

    bool AtEndOfStream();
    // Reads the next line without its end, decoded; throws the read-past-end
    // error after the end.
    QString ReadLine();
    // The raw bytes of the next line (valid until the next call).
    QByteArrayView ReadLineBytes();
    // Whole lines at once, for a loader that splits them itself: about
    // `target` bytes (at most MaxLineBytes / 2 are asked for) ending after a
    // line feed, or the rest of the file at its end, with the line ends left in.
    // LineNumber() then counts the lines of the block. Empty when the next
    // line is too long for a block (read it with ReadLineBytes) or at the end.
    // Valid until the next call.
    QByteArrayView ReadBlock(qsizetype target);
    // Skips the blank lines (empty or spaces and tabs only) that follow; true
    // when the file ends after them. Lets a loader ignore the blank lines an
    // editor leaves at the end of a file.
    bool OnlyBlankLinesLeft();
    // Reads the rest of the file into memory at once (one allocation, no
    // moving later): from then on Bytes() holds all of it, and every view the
    // reader hands out points into Bytes() and stays valid while a copy of it
    // lives. A loader that keeps pieces of the file without copying them uses it.
    void ReadWhole();
    // (The reader reads its buffer through const access only, so that a copy
    // of Bytes() never makes it copy the file.)
    const QByteArray& Bytes() const { return m_buf; }
    // The size of the whole file (or of the bytes given), for a loader's estimate.
    qint64 Size() const { return m_file.isOpen() ? m_file.size() : m_buf.size(); }
    // 1-based number of the line last read.
    qint64 LineNumber() const { return m_lineNumber; }
    // Appended to the message about a line too long: what the user can do.
    void SetLongLineHint(const QString& hint) { m_longLineHint = hint; }
    const QString& Path() const { return m_path; }

private:
    bool fill();
    void checkEncoding() const;
    [[noreturn]] void fail(const QString& what) const;

    QString m_path;
    QFile m_file;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    bool m_eof = false;
    qint64 m_lineNumber = 0;
    QString m_longLineHint;
};

// Writes a file atomically: the text goes to a temporary file beside the target
// and replaces it only when everything was written and synced, so a failed save
// leaves the old file as it was; after the rename the folder is synced too, so
// that the new name survives a power cut.
class AtomicWriter
{
public:
    explicit AtomicWriter(const QString& path);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    // Appends a line in windows-1251 followed by CR LF.
    void WriteLine(QStringView line);
    // Raw bytes, already encoded.
    void WriteBytes(QByteArrayView bytes);
    // Commits the file; throws the file error naming the file and the reason.
    void Commit();

private:
    void flushIfLarge();
    void writeOut();
    void put(const char* data, qsizetype size);

    QString m_path;
    QString m_target; // m_path with a link resolved
    QString m_temp;
    int m_fd = -1;
    int m_errno = 0;         // the first failure, 0 while all is well
    bool m_readOnly = false; // the target is write-protected: never replaced
    QByteArray m_buf;
    qint64 m_written = 0; // bytes handed to the file
    qint64 m_flushed = 0; // of them, bytes whose writing to the disk was started
};

// Copies a file whole, replacing `to` atomically as AtomicWriter does (a
// backup before a change); throws the file error naming the file at fault.
void CopyFileAtomic(const QString& from, const QString& to);

// What a failed save says about the system's error code, in Russian ("нет
// места на диске" for ENOSPC and so on).
QString SaveFailureReason(int errorCode);

// Why an AtomicWriter could not replace the file at path now, in Russian ("нет
// прав на запись", "файл защищён от записи"...), or empty when it could: its
// folder takes a new file with a byte in it, and the file is not write-protected.
// For a long run to ask before it starts work whose end is a save.
QString CannotReplaceReason(const QString& path);

// When fileName (a name, no folder) is a temporary file an AtomicWriter writes
// beside its target, as a save killed midway leaves it: the target's name;
// otherwise empty.
QString TemporaryTarget(const QString& fileName);

} // namespace textfile

namespace textfile {
// Appends one data-file field in windows-1251: "|" is written as "¦" and each
// line break (CR LF, CR or LF) as one space, so the line loads back as written.
void AppendFieldCp1251(QByteArray& out, QStringView s);
// The same into out, which has room for s.size() bytes; returns how many were written.
qsizetype EncodeFieldCp1251(QStringView s, char* out);
} // namespace textfile
