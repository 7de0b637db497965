// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/LineReader.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace textfile {

namespace {

QString fileError(const QString& path, const QString& reason)
{
    return QStringLiteral("Файл «%1»: %2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

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

} // namespace textfile
