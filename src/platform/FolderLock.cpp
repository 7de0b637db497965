// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/FolderLock.h"

#include "platform/AtomicWriter.h"
#include "platform/Errors.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString DataFolderLockName()
{
    return QStringLiteral("vestrana.lock");
}

namespace {

QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

[[noreturn]] void folderBusy(const QString& dataDir, const QString& holder)
{
    throw VestranaError(
        VestranaError::Kind::File,
        QStringLiteral("Папка данных «%1» занята: с ней уже работает %2. Одновременно менять "
                       "данные может только одна программа. Закройте ту программу и повторите; "
                       "здесь ничего не открыто и не изменено.")
            .arg(shownPath(dataDir), holder));
}

// A lock file nobody can be told about: the user is told which file it is.
[[noreturn]] void lockNotTaken(const QString& dataDir, const QString& lockPath, const QString& why)
{
    throw VestranaError(VestranaError::Kind::File,
                        QStringLiteral("Папку данных «%1» не удалось занять: файл блокировки «%2» %3. "
                                       "Если с этой папкой не работает ни одна программа, удалите этот "
                                       "файл и повторите; здесь ничего не открыто и не изменено.")
                            .arg(shownPath(dataDir), shownPath(lockPath), why));
}

enum class Unreadable : std::uint8_t { TakenOver, Held, Young, CannotTake };

// A lock file whose owner cannot be read (empty after a power cut, garbage,
// unreadable, a folder, a link) is stale unless a live process holds it: a
// holder keeps a flock on its lock file for as long as it runs. A file only
// just made may be a holder's that has not written its owner yet, so it is left
// alone until it is a moment old, unless `evenYoung`.
Unreadable takeOverUnreadable(const QString& path, bool evenYoung, QString& why)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat link = {};
    if (::lstat(native.constData(), &link) != 0) return Unreadable::TakenOver; // gone meanwhile: retry
    // A holder never makes a link or a folder, so none holds one.
    if (S_ISLNK(link.st_mode)) {
        if (::unlink(native.constData()) == 0) return Unreadable::TakenOver;
        why = QStringLiteral("— ссылка, которую не удаётся удалить (%1)")
                  .arg(textfile::SaveFailureReason(errno));
        return Unreadable::CannotTake;
    }
    if (S_ISDIR(link.st_mode)) {
        if (::rmdir(native.constData()) == 0) return Unreadable::TakenOver;
        why = QStringLiteral("— папка, которую не удаётся удалить (%1)")
                  .arg(textfile::SaveFailureReason(errno));
        return Unreadable::CannotTake;
    }
    if (!S_ISREG(link.st_mode)) {
        why = QStringLiteral("— не обычный файл");
        return Unreadable::CannotTake;
    }
    const qint64 age = QDateTime::fromSecsSinceEpoch(link.st_mtime).secsTo(QDateTime::currentDateTimeUtc());
    if (!evenYoung && age >= -1 && age <= 1) return Unreadable::Young;

    int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == EACCES && link.st_uid == ::geteuid()) {
        // Our own file made unreadable: readable again, so that its holder can be asked.
        if (::chmod(native.constData(), 0644) == 0)
            fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) {
        why = QStringLiteral("не читается (%1)").arg(textfile::SaveFailureReason(errno));
        return Unreadable::CannotTake;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return Unreadable::Held;
    }
    // Removed only if it is still the file just checked; otherwise a new holder
    // has made its own meanwhile, and the next attempt meets that one.
    struct stat opened = {}, now = {};
    Unreadable result = Unreadable::TakenOver;
    if (::fstat(fd, &opened) == 0 && ::stat(native.constData(), &now) == 0 && opened.st_dev == now.st_dev &&
        opened.st_ino == now.st_ino && ::unlink(native.constData()) != 0) {
        why = QStringLiteral("не содержит сведений о владельце и не удаляется (%1)")
                  .arg(textfile::SaveFailureReason(errno));
        result = Unreadable::CannotTake;
    }
    ::close(fd);
    return result;
}

// Temporary files of a save that was killed midway: while this process holds
// the folder, no save of anyone else is under way, so each is left over.
void removeLeftoverTemporaries(const QString& dataDir)
{
    const QDir dir(dataDir);
    const QStringList names =
        dir.entryList(QStringList{QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QString target = textfile::TemporaryTarget(name);
        if (target.startsWith(QLatin1String("database.")) || target.startsWith(QLatin1String("knows.")))
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

std::unique_ptr<QLockFile> LockDataFolder(const QString& dataDir)
{
    const QString path = QDir(dataDir).filePath(DataFolderLockName());
    auto lock = std::make_unique<QLockFile>(path);
    // Staleness by the holder's process only: a program may rightly keep its
    // folder for days, and the age of the file says nothing about that.
    lock->setStaleLockTime(0);
    QElapsedTimer waiting;
    waiting.start();
    for (int takenOver = 0;;) {
        if (lock->tryLock(0)) {
            removeLeftoverTemporaries(dataDir);
            return lock;
        }
        switch (lock->error()) {
        case QLockFile::PermissionError:
            // No lock file can be made here: nobody can save here either, and the save says why.
            return nullptr;
        case QLockFile::UnknownError:
            // Running unlocked would let a second program save over this one.
            lockNotTaken(dataDir, path,
                         QStringLiteral("не удаётся создать (нет места на диске или папка недоступна)"));
        case QLockFile::NoError:
        case QLockFile::LockFailedError:
            break;
        }
        qint64 pid = 0;
        QString host, app;
        if (lock->getLockInfo(&pid, &host, &app))
            folderBusy(dataDir, QStringLiteral("процесс %1 «%2» на компьютере %3").arg(pid).arg(app, host));
        QString why;
        switch (takeOverUnreadable(path, waiting.elapsed() > 1500, why)) {
        case Unreadable::TakenOver:
            // Twice in a row means others race for the folder: one of them has it.
            if (++takenOver > 2) folderBusy(dataDir, QStringLiteral("другая программа"));
            break;
        case Unreadable::Young:
            QThread::msleep(50);
            break;
        case Unreadable::Held:
            lockNotTaken(dataDir, path,
                         QStringLiteral("удерживает работающий процесс, но чей — не прочесть"));
        case Unreadable::CannotTake:
            lockNotTaken(dataDir, path, why);
        }
    }
}
