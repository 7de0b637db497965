// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/FolderLock.h"

#include "platform/Errors.h"

#include <QDir>

QString DataFolderLockName()
{
    return QStringLiteral("vestrana.lock");
}

std::unique_ptr<QLockFile> LockDataFolder(const QString& dataDir)
{
    auto lock = std::make_unique<QLockFile>(QDir(dataDir).filePath(DataFolderLockName()));
    // Staleness by the holder's process only: a program may rightly keep its
    // folder for days, and the age of the file says nothing about that.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) return lock;
    if (lock->error() != QLockFile::LockFailedError) return nullptr;
    qint64 pid = 0;
    QString host, app;
    QString holder;
    if (lock->getLockInfo(&pid, &host, &app))
        holder = QStringLiteral("процесс %1 «%2» на компьютере %3").arg(pid).arg(app, host);
    else
        holder = QStringLiteral("другой процесс");
    throw VestranaError(
        VestranaError::Kind::File,
        QStringLiteral("Папка данных «%1» занята: с ней уже работает %2. Одновременно менять "
                       "данные может только одна программа. Закройте ту программу и повторите; "
                       "здесь ничего не открыто и не изменено.")
            .arg(QDir::toNativeSeparators(QDir(dataDir).absolutePath()), holder));
}
