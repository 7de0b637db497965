// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One writer per data folder: whoever writes the data files holds a lock file
// in their folder for as long as it runs, so two programs cannot save over each
// other's work. A lock left behind by a process that has ended is taken over, and
// so is one whose owner cannot be read (empty, garbage, a folder, a link) when no
// live process holds it. Once the folder is held, temporary files of data-file
// saves that were killed midway are removed.
//
// Returns the held lock, or null when the folder cannot take a lock file (no
// right to write there, a read-only file system): then nobody can save there
// either, and the save itself says why. Throws the file error, in Russian, when
// another running process holds the folder (naming it), when a lock file cannot
// be taken over (naming the file to remove), or when the lock file cannot be
// written (a full disk).
std::unique_ptr<QLockFile> LockDataFolder(const QString& dataDir);

// The name of the lock file inside the data folder.
QString DataFolderLockName();
