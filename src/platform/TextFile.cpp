// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/TextFile.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QString fileError(const QString& path, const QString& reason)
{
    return QStringLiteral("Файл «%1»: %2").arg(QDir::toNativeSeparators(path), reason);
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

// ---------------------------------------------------------------------------

static constexpr qsizetype kBlock = 1 << 20;

LineReader::LineReader(const QString& path, bool createIfMissing) : m_path(path), m_file(path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        if (!createIfMissing) {
            m_eof = true; // reads as an empty file
            return;
        }
        QFile create(path);
        if (!create.open(QIODevice::WriteOnly))
            throw VestranaError(
                VestranaError::Kind::File,
                fileError(path, QStringLiteral("не удаётся создать файл (%1)").arg(create.errorString())));
        create.close();
    }
    // Checked before opening: opening a pipe waits for a writer, and a device
    // such as /dev/zero never ends.
    if (!QFileInfo(path).isFile())
        throw VestranaError(
            VestranaError::Kind::File,
            fileError(path, QStringLiteral("это не обычный файл (устройство, канал, папка или "
                                           "ссылка в никуда); файл данных должен быть обычным файлом")));
    if (!m_file.open(QIODevice::ReadOnly))
        throw VestranaError(
            VestranaError::Kind::File,
            fileError(path, QStringLiteral("не удаётся открыть файл (%1)").arg(m_file.errorString())));
    if (m_file.isSequential()) // replaced by something else since the check
        throw VestranaError(
            VestranaError::Kind::File,
            fileError(path, QStringLiteral("это не обычный файл; файл данных должен быть обычным файлом")));
}

LineReader::LineReader(const QString& name, QByteArray bytes)
    : m_path(name), m_buf(std::move(bytes)), m_eof(true)
{
}

void LineReader::fail(const QString& what) const
{
    throw VestranaError(VestranaError::Kind::File, fileError(m_path, what));
}

bool LineReader::fill()
{
    if (m_eof) return false;
    if (m_pos > 0) {
        m_buf.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype old = m_buf.size();
    m_buf.resize(old + kBlock);
    const qint64 got = m_file.read(m_buf.data() + old, kBlock);
    if (got < 0) {
        m_buf.resize(old);
        fail(QStringLiteral("ошибка чтения (%1)").arg(m_file.errorString()));
    }
    m_buf.resize(old + got);
    if (got == 0) m_eof = true;
    return got > 0;
}

void LineReader::ReadWhole()
{
    if (m_eof) return;
    if (m_pos > 0) {
        m_buf.remove(0, m_pos);
        m_pos = 0;
    }
    const qint64 rest = std::max<qint64>(0, m_file.size() - m_file.pos());
    const qsizetype old = m_buf.size();
    m_buf.resize(old + qsizetype(rest));
    qint64 done = 0;
    while (done < rest) {
        const qint64 got = m_file.read(m_buf.data() + old + done, rest - done);
        if (got < 0) {
            m_buf.resize(old + qsizetype(done));
            fail(QStringLiteral("ошибка чтения (%1)").arg(m_file.errorString()));
        }
        if (got == 0) break;
        done += got;
    }
    m_buf.resize(old + qsizetype(done));
    // Should the file have grown meanwhile, the rest comes as usual (growing
    // the buffer, which the usual end does not).
    char more = 0;
    if (m_file.read(&more, 1) != 1) {
        m_eof = true;
        return;
    }
    m_buf.append(more);
    while (fill()) {
    }
}

bool LineReader::AtEndOfStream()
{
    while (m_pos >= m_buf.size()) {
        if (!fill()) return true;
    }
    return false;
}

QByteArrayView LineReader::ReadLineBytes()
{
    if (AtEndOfStream())
        throw VestranaError(
            VestranaError::Kind::ReadPastEnd,
            fileError(m_path, QStringLiteral("неожиданный конец файла после строки %1").arg(m_lineNumber)));
    qsizetype nl;
    qsizetype scanned = 0; // bytes of this line already searched, so a long line is scanned once
    for (;;) {
        nl = m_buf.indexOf('\n', m_pos + scanned);
        if (nl >= 0 || m_buf.size() - m_pos > MaxLineBytes) break;
        scanned = m_buf.size() - m_pos;
        if (!fill()) break;
    }
    if ((nl >= 0 ? nl : m_buf.size()) - m_pos > MaxLineBytes)
        fail(QStringLiteral("строка %1 длиннее %2 МБ; в файле данных таких строк не бывает, файл не прочитан")
                 .arg(m_lineNumber + 1)
                 .arg(MaxLineBytes >> 20) +
             m_longLineHint);
    if (m_lineNumber == 0) checkEncoding();
    ++m_lineNumber;
    qsizetype end = nl >= 0 ? nl : m_buf.size();
    const qsizetype next = nl >= 0 ? nl + 1 : m_buf.size();
    if (end > m_pos && m_buf.at(end - 1) == '\r') --end;
    QByteArrayView line(m_buf.constData() + m_pos, end - m_pos);
    m_pos = next;
    return line;
}

void LineReader::checkEncoding() const
{
    const QByteArrayView head(m_buf.constData() + m_pos, std::min<qsizetype>(3, m_buf.size() - m_pos));
    const char* encoding = head.startsWith("\xEF\xBB\xBF")                              ? "UTF-8"
                           : head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") ? "UTF-16"
                                                                                        : nullptr;
    if (encoding)
        fail(QStringLiteral("файл сохранён в кодировке %1 (начинается с метки порядка байтов), а должен быть "
                            "в кодировке windows-1251; пересохраните его в windows-1251 без метки")
                 .arg(QLatin1String(encoding)));

    // Without a mark: what has been read so far, and only when all of it is
    // UTF-8, the rest of the file through a second handle.
    Utf8Scan scan;
    if (!scan.Feed(m_buf.constData() + m_pos, m_buf.size() - m_pos)) return;
    if (!m_eof && m_file.isOpen()) {
        QFile rest(m_file.fileName());
        if (!rest.open(QIODevice::ReadOnly) || !rest.seek(m_file.pos())) return;
        QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
        for (;;) {
            const qint64 got = rest.read(chunk.data(), chunk.size());
            if (got <= 0) break;
            if (!scan.Feed(chunk.constData(), got)) return;
        }
    }
    if (scan.IsUtf8Text())
        fail(QStringLiteral("файл сохранён в кодировке UTF-8, а должен быть в кодировке windows-1251; "
                            "перекодируйте оба файла папки данных командой «vestrana-cli recode» (старые "
                            "файлы останутся как *.utf8.bak)"));
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

QByteArrayView LineReader::ReadBlock(qsizetype target)
{
    // Below the line limit, so that a line wholly inside a block is never too long.
    target = std::clamp<qsizetype>(target, 1, MaxLineBytes / 2 - kBlock);
    while (m_buf.size() - m_pos < target)
        if (!fill()) break;
    if (m_pos >= m_buf.size()) return {};
    qsizetype end = std::min(m_buf.size(), m_pos + target);
    if (!m_eof || end < m_buf.size()) {
        const qsizetype nl = QByteArrayView(m_buf.constData() + m_pos, end - m_pos).lastIndexOf('\n');
        if (nl < 0) return {};
        end = m_pos + nl + 1;
    }
    if (m_lineNumber == 0) checkEncoding();
    const QByteArrayView block(m_buf.constData() + m_pos, end - m_pos);
    m_lineNumber += CountLineFeeds(block.data(), block.size()) + (block.endsWith('\n') ? 0 : 1);
    m_pos = end;
    return block;
}

QString LineReader::ReadLine()
{
    const QByteArrayView b = ReadLineBytes();
    return FromCp1251(b.data(), b.size());
}

bool LineReader::OnlyBlankLinesLeft()
{
    for (;;) {
        if (AtEndOfStream()) return true;
        const char c = m_buf.at(m_pos);
        if (c == '\n') {
            ++m_pos;
            ++m_lineNumber;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            ++m_pos;
        } else {
            return false;
        }
    }
}

// ---------------------------------------------------------------------------

QString SaveFailureReason(int errorCode)
{
    switch (errorCode) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("нет места на диске");
    case EROFS:
        return QStringLiteral("файловая система только для чтения");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на запись");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("папка не существует");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода на диске");
    case EFBIG:
        return QStringLiteral("файл слишком велик для этой файловой системы");
    case EISDIR:
        return QStringLiteral("на месте файла папка или устройство, а не обычный файл");
    default:
        return QStringLiteral("системная ошибка %1: %2")
            .arg(errorCode)
            .arg(QString::fromLocal8Bit(std::strerror(errorCode)));
    }
}

namespace {

// The temporary file beside the target: hidden, unique to this process and save.
QString temporaryName(const QString& path)
{
    static std::atomic<unsigned> counter{0};
    const QFileInfo info(path);
    return info.absoluteDir().filePath(
        QStringLiteral(".%1.%2-%3.tmp").arg(info.fileName()).arg(::getpid()).arg(counter.fetch_add(1)));
}

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

QString TemporaryTarget(const QString& fileName)
{
    // ".<target>.<pid>-<counter>.tmp", as temporaryName makes it.
    if (!fileName.startsWith(u'.') || !fileName.endsWith(u".tmp")) return QString();
    const QStringView body = QStringView(fileName).chopped(4);
    const qsizetype dot = body.lastIndexOf(u'.');
    if (dot <= 1) return QString();
    const QStringView mark = body.mid(dot + 1);
    const qsizetype dash = mark.indexOf(u'-');
    if (dash <= 0 || dash + 1 >= mark.size()) return QString();
    for (qsizetype i = 0; i < mark.size(); ++i)
        if (i != dash && !(mark[i] >= u'0' && mark[i] <= u'9')) return QString();
    return body.mid(1, dot - 1).toString();
}

QString CannotReplaceReason(const QString& path)
{
    QString target = path;
    if (const QFileInfo link(path); link.isSymLink() && link.exists()) target = link.canonicalFilePath();
    const QByteArray native = QFile::encodeName(target);
    struct stat st;
    if (::stat(native.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return SaveFailureReason(EISDIR);
        if ((st.st_mode & 0222) == 0) return QStringLiteral("файл защищён от записи (только для чтения)");
    }
    const QString probe = temporaryName(target);
    const QByteArray probeName = QFile::encodeName(probe);
    const int fd = ::open(probeName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return SaveFailureReason(errno);
    const bool written = writeAll(fd, "\n", 1);
    const int error = errno;
    ::close(fd);
    ::unlink(probeName.constData());
    return written ? QString() : SaveFailureReason(error);
}

AtomicWriter::AtomicWriter(const QString& path) : m_path(path), m_target(path)
{
    m_buf.reserve(kBlock + 4096);
    // A link is followed: the file it names is replaced, the link stays.
    if (const QFileInfo link(path); link.isSymLink() && link.exists()) m_target = link.canonicalFilePath();
    if (!QFileInfo(QFileInfo(m_target).absolutePath()).isDir()) {
        m_errno = ENOENT;
        return;
    }
    if (const QFileInfo target(m_target); target.exists() && !target.isFile()) {
        // A device or a folder is never replaced by a data file.
        m_errno = EISDIR;
        return;
    }
    // A file the user made read-only is respected, even where the folder (or
    // being the superuser) would allow replacing it.
    if (struct stat st; ::stat(QFile::encodeName(m_target).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                        (st.st_mode & 0222) == 0) {
        m_readOnly = true;
        m_errno = EACCES;
        return;
    }
    m_temp = temporaryName(m_target);
    const QByteArray temp = QFile::encodeName(m_temp);
    // 0666 under the umask, as any new file; an existing target keeps its mode.
    m_fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_errno = errno;
        return;
    }
    struct stat st;
    if (::stat(QFile::encodeName(m_target).constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(m_fd, st.st_mode & 07777);
}

AtomicWriter::~AtomicWriter()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(QFile::encodeName(m_temp).constData());
    }
}

void AtomicWriter::put(const char* data, qsizetype size)
{
    if (m_fd < 0 || m_errno != 0) return;
    if (!writeAll(m_fd, data, size)) {
        m_errno = errno;
        return;
    }
    m_written += size;
#if defined(__linux__)
    // The disk starts on what is written while the rest is still being
    // encoded, so that the sync at the commit waits only for the last part.
    // Only a start: a failure shows at that sync.
    constexpr qint64 kFlushStep = qint64(8) << 20;
    if (m_written - m_flushed >= kFlushStep) {
        (void)::sync_file_range(m_fd, m_flushed, m_written - m_flushed, SYNC_FILE_RANGE_WRITE);
        m_flushed = m_written;
    }
#endif
}

void AtomicWriter::writeOut()
{
    put(m_buf.constData(), m_buf.size());
    m_buf.clear();
}

void AtomicWriter::flushIfLarge()
{
    if (m_buf.size() >= kBlock) writeOut();
}

void AtomicWriter::WriteLine(QStringView line)
{
    AppendCp1251(m_buf, line);
    m_buf.append("\r\n", 2);
    flushIfLarge();
}

void AtomicWriter::WriteBytes(QByteArrayView bytes)
{
    if (m_buf.isEmpty() && bytes.size() >= kBlock) {
        // Already a block: written as it is, without the copy.
        put(bytes.data(), bytes.size());
        return;
    }
    m_buf.append(bytes);
    flushIfLarge();
}

void AtomicWriter::Commit()
{
    writeOut();
    const QByteArray temp = QFile::encodeName(m_temp);
    // A full disk often shows only here: the data reach the disk at the sync.
    if (m_errno == 0 && ::fsync(m_fd) != 0) m_errno = errno;
    if (m_fd >= 0) {
        if (::close(m_fd) != 0 && m_errno == 0) m_errno = errno;
        m_fd = -1;
    }
    if (m_errno == 0 && ::rename(temp.constData(), QFile::encodeName(m_target).constData()) != 0)
        m_errno = errno;
    if (m_errno == 0) {
        // The rename itself lives in the folder; without this a power cut can
        // bring back the old file (or none). The save is complete either way.
        const int dir = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return;
    }
    if (!m_temp.isEmpty()) ::unlink(temp.constData());
    const bool existed = QFileInfo::exists(m_target);
    throw VestranaError(
        VestranaError::Kind::File,
        fileError(m_path, QStringLiteral("не удалось сохранить: %1; %2")
                              .arg(m_readOnly ? QStringLiteral("файл защищён от записи (только "
                                                               "для чтения)")
                                              : SaveFailureReason(m_errno),
                                   existed ? QStringLiteral("прежний файл не изменён")
                                           : QStringLiteral("файл не создан"))));
}

} // namespace textfile

namespace textfile {

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

namespace textfile {

void CopyFileAtomic(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        throw VestranaError(
            VestranaError::Kind::File,
            fileError(from, QStringLiteral("не удаётся открыть файл (%1)").arg(in.errorString())));
    AtomicWriter out(to);
    QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            throw VestranaError(VestranaError::Kind::File,
                                fileError(from, QStringLiteral("ошибка чтения (%1)").arg(in.errorString())));
        if (got == 0) break;
        out.WriteBytes(QByteArrayView(chunk.constData(), got));
    }
    out.Commit();
}

} // namespace textfile
