// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace textfile {

namespace {

// What bytes 0x80..0xFF stand for, eight bytes a line.
// clang-format off
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};
// clang-format on

// Reverse table for the whole BMP: 0 means "not in the code page".
struct Encoder
{
    std::array<unsigned char, 65536> table{};
    Encoder()
    {
        for (int b = 0; b < 128; ++b)
            table[static_cast<size_t>(b)] = static_cast<unsigned char>(b);
        for (int b = 0; b < 128; ++b)
            if (kHigh[static_cast<size_t>(b)] != 0xFFFD)
                table[kHigh[static_cast<size_t>(b)]] = static_cast<unsigned char>(b + 128);
    }
};

const Encoder& encoder()
{
    static const Encoder e;
    return e;
}

} // namespace

constexpr bool lettersInUnicodeOrder()
{
    for (int b = 0xC0; b <= 0xFF; ++b)
        if (kHigh[static_cast<size_t>(b - 128)] != 0x410 + (b - 0xC0)) return false;
    return true;
}
static_assert(lettersInUnicodeOrder(), "the fast decode relies on it");

namespace {

#if defined(__SSE2__)
// Sixteen bytes to sixteen characters: ASCII and the Cyrillic letters
// 0xC0..0xFF, which the code page lays out in Unicode order from U+0410, in
// registers (the bulk of both files); the few bytes 0x80..0xBF (Ё, ё, №,
// quotes, dashes) are then looked up in the table one by one.
inline void decode16(const unsigned char* in, char16_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i below = _mm_set1_epi8(char(0xC0)); // as signed bytes, 0x80..0xBF are less
    const __m128i letters = _mm_set1_epi16(0xBF);
    const __m128i shift = _mm_set1_epi16(0x410 - 0xC0);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    __m128i lo = _mm_unpacklo_epi8(v, zero);
    __m128i hi = _mm_unpackhi_epi8(v, zero);
    lo = _mm_add_epi16(lo, _mm_and_si128(_mm_cmpgt_epi16(lo, letters), shift));
    hi = _mm_add_epi16(hi, _mm_and_si128(_mm_cmpgt_epi16(hi, letters), shift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), hi);
    for (unsigned table = unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, below))); table; table &= table - 1) {
        const int k = __builtin_ctz(table);
        out[k] = kHigh[in[k] - 128u];
    }
}
#endif

} // namespace

void DecodeCp1251(const char* data, qsizetype size, char16_t* out)
{
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= size; i += 16)
        decode16(in + i, out + i);
#endif
    // Eight ASCII bytes at a time, the bulk of a listing's digits and bars.
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, in + i, 8);
        if (word & 0x8080808080808080ULL) {
            for (qsizetype k = i; k < i + 8; ++k) {
                const unsigned char b = in[k];
                out[k] = b < 128 ? char16_t(b) : kHigh[b - 128u];
            }
        } else {
            for (qsizetype k = i; k < i + 8; ++k)
                out[k] = char16_t(in[k]);
        }
    }
    for (; i < size; ++i) {
        const unsigned char b = in[i];
        out[i] = b < 128 ? char16_t(b) : kHigh[b - 128u];
    }
}

void DecodeCp1251Joined(std::span<const Piece> pieces, const char* inEnd, char16_t* out, qsizetype outSize)
{
#if defined(__SSE2__)
    const char16_t* const outEnd = out + outSize;
    // The first piece starts the line, so sixteen bytes that end at inEnd
    // stay inside it when the pieces hold that many.
    const char* const lineStart = pieces.empty() ? inEnd : pieces.front().data;
    for (const Piece& piece : pieces) {
        const char* data = piece.data;
        const qsizetype size = piece.size;
        // Sixteen bytes at a time even past the piece's end: most fields are
        // shorter than that and take one step (an empty one too, which costs
        // less than telling it apart), and what it writes past the piece the
        // next piece overwrites.
        qsizetype i = 0;
        while (16 <= inEnd - (data + i) && 16 <= outEnd - (out + i)) {
            decode16(reinterpret_cast<const unsigned char*>(data + i), out + i);
            i += 16;
            if (i >= size) break;
        }
        const qsizetype left = size - i;
        if (left > 0 && left <= 16 && inEnd - lineStart >= 16) {
            // Near the end of the line or of out: the sixteen bytes that hold
            // the rest and stay inside the line, decoded aside.
            const char* window = std::min(data + i, inEnd - 16);
            char16_t aside[16];
            decode16(reinterpret_cast<const unsigned char*>(window), aside);
            std::memcpy(out + i, aside + (data + i - window), size_t(left) * sizeof(char16_t));
        } else if (left > 0) {
            DecodeCp1251(data + i, left, out + i);
        }
        out += size;
    }
#else
    Q_UNUSED(inEnd);
    Q_UNUSED(outSize);
    for (const Piece& piece : pieces) {
        DecodeCp1251(piece.data, piece.size, out);
        out += piece.size;
    }
#endif
}

qsizetype CountLineFeeds(const char* data, qsizetype size)
{
    qsizetype total = 0;
    qsizetype i = 0;
#if defined(__SSE2__)
    // Byte counters, summed up before any of them can pass 255.
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= size) {
        __m128i counts = zero;
        for (int round = 0; round < 255 && i + 16 <= size; ++round, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(v, feed));
        }
        const __m128i sums = _mm_sad_epu8(counts, zero);
        total += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
    }
#endif
    for (; i < size; ++i)
        total += data[i] == '\n';
    return total;
}

QString FromCp1251(const char* data, qsizetype size)
{
    QString s(size, Qt::Uninitialized);
    DecodeCp1251(data, size, reinterpret_cast<char16_t*>(s.data()));
    return s;
}

void AppendCp1251(QByteArray& out, QStringView s)
{
    const qsizetype start = out.size();
    out.resize(start + s.size());
    char* o = out.data() + start;
    const auto& table = encoder().table;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        unsigned char b = table[c];
        if (b == 0 && c != 0) b = '?';
        o[i] = static_cast<char>(b);
    }
}

QByteArray ToCp1251(QStringView s)
{
    QByteArray out;
    AppendCp1251(out, s);
    return out;
}

bool Utf8Scan::Feed(const char* data, qsizetype size)
{
    if (m_invalid) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    while (i < size) {
        if (m_need == 0) {
            // ASCII eight bytes at a time: the bulk of either kind of file.
            while (i + 8 <= size) {
                quint64 word;
                std::memcpy(&word, p + i, 8);
                if (word & 0x8080808080808080ULL) break;
                i += 8;
            }
            if (i >= size) break;
            const unsigned char c = p[i++];
            if (c < 0x80) continue;
            m_nonAscii = true;
            m_lo = 0x80;
            m_hi = 0xBF;
            if (c >= 0xC2 && c <= 0xDF) {
                m_need = 1;
            } else if (c >= 0xE0 && c <= 0xEF) {
                m_need = 2;
                if (c == 0xE0) m_lo = 0xA0; // no overlong forms
                if (c == 0xED) m_hi = 0x9F; // no surrogates
            } else if (c >= 0xF0 && c <= 0xF4) {
                m_need = 3;
                if (c == 0xF0) m_lo = 0x90;
                if (c == 0xF4) m_hi = 0x8F; // nothing past U+10FFFF
            } else {
                m_invalid = true;
                return false;
            }
        } else {
            const unsigned char c = p[i++];
            if (c < m_lo || c > m_hi) {
                m_invalid = true;
                return false;
            }
            m_lo = 0x80;
            m_hi = 0xBF;
            --m_need;
        }
    }
    return true;
}

qsizetype EncodeFieldCp1251(QStringView s, char* o)
{
    qsizetype n = 0;
    const auto& table = encoder().table;
    const char16_t* in = s.utf16();
    const qsizetype size = s.size();
    // One character (CR LF together) from position i; returns the next position.
    const auto one = [&](qsizetype i) {
        const char16_t c = in[i];
        unsigned char b = table[c];
        if (c == u'|') {
            b = 0xA6;
        } else if (c == u'\r') {
            b = ' ';
            if (i + 1 < size && in[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            b = ' ';
        } else if (b == 0 && c != 0) {
            b = '?';
        }
        o[n++] = static_cast<char>(b);
        return i + 1;
    };
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen characters at a time where they are ASCII other than "|" and the
    // line breaks, or the Cyrillic letters U+0410..U+044F (bytes 0xC0..0xFF):
    // the bulk of a listing. Any other sixteen go one by one.
    const __m128i asciiBits = _mm_set1_epi16(short(0xFF80));
    const __m128i letterBits = _mm_set1_epi16(short(0xFFC0));
    const __m128i letterBase = _mm_set1_epi16(0x410);
    const __m128i letterShift = _mm_set1_epi16(0x410 - 0xC0);
    const __m128i zero = _mm_setzero_si128();
    const auto plain = [&](__m128i c, __m128i& letter) {
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(c, asciiBits), zero);
        const __m128i special = _mm_or_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16(u'|')),
                                             _mm_or_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16(u'\r')),
                                                          _mm_cmpeq_epi16(c, _mm_set1_epi16(u'\n'))));
        letter = _mm_cmpeq_epi16(_mm_and_si128(_mm_sub_epi16(c, letterBase), letterBits), zero);
        return _mm_or_si128(_mm_andnot_si128(special, ascii), letter);
    };
    while (i + 16 <= size) {
        const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        __m128i letter0, letter1;
        const __m128i ok = _mm_and_si128(plain(c0, letter0), plain(c1, letter1));
        if (_mm_movemask_epi8(ok) != 0xFFFF) {
            for (const qsizetype end = i + 16; i < end;)
                i = one(i);
            continue;
        }
        const __m128i b0 = _mm_sub_epi16(c0, _mm_and_si128(letter0, letterShift));
        const __m128i b1 = _mm_sub_epi16(c1, _mm_and_si128(letter1, letterShift));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + n), _mm_packus_epi16(b0, b1));
        n += 16;
        i += 16;
    }
#endif
    while (i < size)
        i = one(i);
    return n;
}

void AppendFieldCp1251(QByteArray& out, QStringView s)
{
    const qsizetype start = out.size();
    out.resize(start + s.size());
    out.resize(start + EncodeFieldCp1251(s, out.data() + start));
}

} // namespace textfile
