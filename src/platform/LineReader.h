// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace textfile {

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

} // namespace textfile
