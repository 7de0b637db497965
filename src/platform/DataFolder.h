// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <QStringList>

// What decides where the two data files of a run live.
struct DataFolderFacts
{
    QString ProgramDir;              // the executable's folder
    bool ProgramDirWritable = false; // whether this process may create files there
    QString DataDirOption;           // a folder given on the command line, empty when none
    QString UserDataDir;             // the user's data folder of the program
};

struct DataFolder
{
    QString Path;
    QStringList Copied; // sample files copied into it on this start
};

// The facts of this run: the executable's folder, whether it is writable, and the
// user's data folder (~/.local/share/vestrana by default).
DataFolderFacts CurrentDataFolderFacts(const QString& dataDirOption = QString());

// A folder given on the command line is used as it stands. Otherwise the data stay
// beside the program (a build folder, a portable copy) when its folder holds
// database.txt, or is writable, no system folder and has no installed share/vestrana
// beside it. An installed program uses the user's data folder: it is created, and
// each sample file of share/vestrana that is missing there is copied in; an existing
// file is never replaced. Raises the file error when the folder cannot be created
// or a sample file not copied.
DataFolder SelectDataFolder(const DataFolderFacts& facts);

// Whether a folder belongs to the system's installed software (/usr, /opt, ...).
bool IsSystemFolder(const QString& path);
