// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/DataFolder.h"

#include "platform/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QStringList& dataFileNames()
{
    static const QStringList names{QStringLiteral("database.txt"), QStringLiteral("knows.txt")};
    return names;
}

// The installed help and sample data of a program in `programDir` (prefix/bin -> prefix/share/vestrana).
QString installedShareDir(const QString& programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../share/vestrana"));
}

VestranaError fileError(const QString& text, const QString& path)
{
    return {VestranaError::Kind::File, text.arg(QDir::toNativeSeparators(path))};
}

} // namespace

DataFolderFacts CurrentDataFolderFacts(const QString& dataDirOption)
{
    DataFolderFacts f;
    f.ProgramDir = QCoreApplication::applicationDirPath();
    f.ProgramDirWritable = QFileInfo(f.ProgramDir).isWritable();
    f.DataDirOption = dataDirOption;
    // AppDataLocation of an application named "vestrana", whatever the running executable
    // calls itself, so that the desktop program and the CLI share one folder.
    f.UserDataDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vestrana");
    return f;
}

bool IsSystemFolder(const QString& path)
{
    static const QStringList roots{QStringLiteral("/usr"), QStringLiteral("/bin"),   QStringLiteral("/sbin"),
                                   QStringLiteral("/lib"), QStringLiteral("/lib32"), QStringLiteral("/lib64"),
                                   QStringLiteral("/opt"), QStringLiteral("/etc"),   QStringLiteral("/snap"),
                                   QStringLiteral("/app")};
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    for (const QString& root : roots) {
        if (clean == root || clean.startsWith(root + QLatin1Char('/'))) return true;
    }
    return false;
}

DataFolder SelectDataFolder(const DataFolderFacts& facts)
{
    if (!facts.DataDirOption.isEmpty()) return {facts.DataDirOption, {}};

    const QDir program(facts.ProgramDir);
    const QString share = installedShareDir(facts.ProgramDir);
    // An installed copy is told by its share folder, so that an install into a
    // writable prefix (~/.local, a staging folder) still keeps data per user.
    const bool installed = QFileInfo(share).isDir();
    if (program.exists(QStringLiteral("database.txt")) ||
        (!installed && facts.ProgramDirWritable && !IsSystemFolder(facts.ProgramDir)))
        return {facts.ProgramDir, {}};

    DataFolder chosen{facts.UserDataDir, {}};
    if (chosen.Path.isEmpty() || !QDir().mkpath(chosen.Path))
        throw fileError(QStringLiteral("Не удалось создать папку данных %1"), chosen.Path);
    const QDir user(chosen.Path);
    for (const QString& name : dataFileNames()) {
        const QString from = QDir(share).filePath(name);
        const QString to = user.filePath(name);
        // QFile::copy writes a temporary file and renames it, and refuses an existing target:
        // an interrupted copy leaves no half file, and the user's file is never replaced.
        if (QFileInfo::exists(to) || !QFileInfo::exists(from)) continue;
        if (!QFile::copy(from, to))
            throw fileError(QStringLiteral("Не удалось скопировать пример данных в %1"), to);
        // The installed sample is read-only to the user; the copy is theirs to change.
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        chosen.Copied.append(name);
    }
    return chosen;
}
