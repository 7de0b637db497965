#include "platform/TextFile.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <array>

namespace textfile {

namespace {

constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

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

QString FromCp1251(const char* data, qsizetype size)
{
    QString s(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = in[i];
        out[i] = b < 128 ? char16_t(b) : kHigh[b - 128u];
    }
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
        if (b == 0 && c != 0)
            b = '?';
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
    if (!m_file.exists() && createIfMissing) {
        QFile create(path);
        if (!create.open(QIODevice::WriteOnly))
            throw VestranaError(VestranaError::Kind::File,
                                fileError(path, QStringLiteral("не удаётся создать файл (%1)").arg(create.errorString())));
        create.close();
    }
    if (!m_file.open(QIODevice::ReadOnly))
        throw VestranaError(VestranaError::Kind::File,
                            fileError(path, QStringLiteral("не удаётся открыть файл (%1)").arg(m_file.errorString())));
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    if (m_pos > 0) {
        m_buf.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype old = m_buf.size();
    m_buf.resize(old + kBlock);
    const qint64 got = m_file.read(m_buf.data() + old, kBlock);
    if (got < 0) {
        m_buf.resize(old);
        throw VestranaError(VestranaError::Kind::File,
                            fileError(m_path, QStringLiteral("ошибка чтения (%1)").arg(m_file.errorString())));
    }
    m_buf.resize(old + got);
    if (got == 0)
        m_eof = true;
    return got > 0;
}

bool LineReader::AtEndOfStream()
{
    while (m_pos >= m_buf.size()) {
        if (!fill())
            return true;
    }
    return false;
}

QByteArrayView LineReader::ReadLineBytes()
{
    if (AtEndOfStream())
        throw VestranaError(VestranaError::Kind::ReadPastEnd,
                            fileError(m_path, QStringLiteral("неожиданный конец файла после строки %1").arg(m_lineNumber)));
    qsizetype nl;
    for (;;) {
        nl = m_buf.indexOf('\n', m_pos);
        if (nl >= 0 || !fill())
            break;
    }
    ++m_lineNumber;
    qsizetype end = nl >= 0 ? nl : m_buf.size();
    const qsizetype next = nl >= 0 ? nl + 1 : m_buf.size();
    if (end > m_pos && m_buf[end - 1] == '\r')
        --end;
    QByteArrayView line(m_buf.constData() + m_pos, end - m_pos);
    m_pos = next;
    return line;
}

QString LineReader::ReadLine()
{
    const QByteArrayView b = ReadLineBytes();
    return FromCp1251(b.data(), b.size());
}

// ---------------------------------------------------------------------------

struct AtomicWriter::Impl
{
    explicit Impl(const QString& p) : file(p) {}
    QSaveFile file;
    bool opened = false;
    bool failed = false;
    QString reason;
};

AtomicWriter::AtomicWriter(const QString& path) : m_path(path), d(new Impl(path))
{
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        d->failed = true;
        d->reason = QStringLiteral("папка не существует");
    } else if (!d->file.open(QIODevice::WriteOnly)) {
        d->failed = true;
        d->reason = d->file.errorString();
    } else {
        d->opened = true;
    }
    m_buf.reserve(kBlock + 4096);
}

AtomicWriter::~AtomicWriter()
{
    if (d->opened)
        d->file.cancelWriting();
    delete d;
}

void AtomicWriter::flushIfLarge()
{
    if (m_buf.size() < kBlock)
        return;
    if (d->opened && !d->failed) {
        if (d->file.write(m_buf) != m_buf.size()) {
            d->failed = true;
            d->reason = d->file.errorString();
        }
    }
    m_buf.clear();
}

void AtomicWriter::WriteLine(QStringView line)
{
    AppendCp1251(m_buf, line);
    m_buf.append("\r\n", 2);
    flushIfLarge();
}

void AtomicWriter::Write(QStringView text)
{
    AppendCp1251(m_buf, text);
    flushIfLarge();
}

void AtomicWriter::WriteBytes(QByteArrayView bytes)
{
    m_buf.append(bytes);
    flushIfLarge();
}

void AtomicWriter::Commit()
{
    if (!d->failed && d->opened && !m_buf.isEmpty()) {
        if (d->file.write(m_buf) != m_buf.size()) {
            d->failed = true;
            d->reason = d->file.errorString();
        }
        m_buf.clear();
    }
    if (!d->failed && d->opened) {
        if (d->file.commit()) {
            d->opened = false;
            return;
        }
        d->failed = true;
        d->reason = d->file.errorString();
    }
    if (d->opened) {
        d->file.cancelWriting();
        d->opened = false;
    }
    throw VestranaError(VestranaError::Kind::File,
                        fileError(m_path, QStringLiteral("не удалось сохранить (%1); прежний файл не изменён")
                                              .arg(d->reason)));
}

} // namespace textfile

namespace textfile {

void AppendFieldCp1251(QByteArray& out, QStringView s)
{
    const qsizetype start = out.size();
    out.resize(start + s.size());
    char* o = out.data() + start;
    qsizetype n = 0;
    const auto& table = encoder().table;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        unsigned char b = table[c];
        if (c == u'|') {
            b = 0xA6;
        } else if (c == u'\r') {
            b = ' ';
            if (i + 1 < s.size() && s[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            b = ' ';
        } else if (b == 0 && c != 0) {
            b = '?';
        }
        o[n++] = static_cast<char>(b);
    }
    out.resize(start + n);
}

} // namespace textfile
