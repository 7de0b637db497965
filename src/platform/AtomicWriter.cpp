// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/AtomicWriter.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {

namespace {

QString fileError(const QString& path, const QString& reason)
{
    return QStringLiteral("Файл «%1»: %2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

// Bytes gathered before they are handed to the file.
static constexpr qsizetype kBlock = 1 << 20;

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
