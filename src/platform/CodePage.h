// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <span>

#include <QByteArray>
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

} // namespace textfile

namespace textfile {
// Appends one data-file field in windows-1251: "|" is written as "¦" and each
// line break (CR LF, CR or LF) as one space, so the line loads back as written.
void AppendFieldCp1251(QByteArray& out, QStringView s);
// The same into out, which has room for s.size() bytes; returns how many were written.
qsizetype EncodeFieldCp1251(QStringView s, char* out);
} // namespace textfile
