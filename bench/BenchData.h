// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/AtomicWriter.h"
#include "program/Program.h"
#include "sample/ListingGenerator.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>

// Sample data of a given size, written once per process into a scratch folder.
namespace benchdata {

// The folder of `count` sample listings; with `knowledge` also the matching knows.txt
// (its accepted values cover every field text, as after a re-index).
inline QString DataDir(int count, bool knowledge = true)
{
    static QTemporaryDir root;
    static std::map<std::pair<int, bool>, QString> made;
    auto it = made.find({count, knowledge});
    if (it != made.end()) return it->second;
    const QString dir = root.filePath(QStringLiteral("%1-%2").arg(count).arg(knowledge));
    QDir().mkpath(dir);
    {
        textfile::AtomicWriter db(QDir(dir).filePath(QStringLiteral("database.txt")));
        for (int i = 0; i < count; ++i)
            db.WriteLine(sample::DatabaseLine(sample::GenerateListing(static_cast<quint64>(i))));
        db.Commit();
    }
    if (knowledge) {
        textfile::AtomicWriter kb(QDir(dir).filePath(QStringLiteral("knows.txt")));
        for (const QString& line : sample::SampleKnowledgeLines(static_cast<quint64>(count)))
            kb.WriteLine(line);
        kb.Commit();
    }
    made[{count, knowledge}] = dir;
    return dir;
}

// A started program over `count` sample listings (shared between benchmarks).
inline Program& Started(int count)
{
    static std::map<int, std::unique_ptr<Program>> programs;
    auto& p = programs[count];
    if (!p) {
        p = std::make_unique<Program>(DataDir(count));
        p->StartUp();
    }
    return *p;
}

} // namespace benchdata
