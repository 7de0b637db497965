// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "program/Program.h"

#include "knowledge/Scoring.h"
#include "platform/Parallel.h"
#include "script/ScriptEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

Program::Program(QString dataDir)
    : QObject(nullptr),
      DataDir(dataDir.isEmpty() ? QCoreApplication::applicationDirPath() : std::move(dataDir)),
      m_engine(std::make_unique<ScriptEngine>())
{
}

Program::~Program() = default;

ScriptEngine& Program::Engine()
{
    return *m_engine;
}

QString Program::DatabasePath() const
{
    return QDir(DataDir).filePath(QStringLiteral("database.txt"));
}

QString Program::KnowledgePath() const
{
    return QDir(DataDir).filePath(QStringLiteral("knows.txt"));
}

float Program::FormalizedValue(field::Field k, int i)
{
    KnowledgeBase::CheckIndex(k);
    const Kind kind = Knowledge.AttributeKinds[k].Id();
    if (!scoring::HasFormalizedValue(kind)) return 0.0f; // other kinds never look the listing up
    return scoring::FormalizedValueOf(kind, Knowledge, Engine(), *Records.Items.Item(i), k);
}

void Program::InitAttributeNames()
{
    MaxFound = 10;
    const auto& names = DefaultAttributeNames();
    for (field::Field k : field::AttributeFields)
        Knowledge.AttributeNames[k] = names[k];
}

void Program::StartUp(bool readOnly, const ::Records::Progress& progress)
{
    InitAttributeNames();
    // The two files are independent, so the knowledge base loads on a helper
    // thread (into its own tables only) while this one loads the listings. A
    // fault in the listings is the one reported, as when they loaded first;
    // and where the knowledge base would have to be created, it waits for the
    // listings, so that a failed start creates nothing.
    const bool together = parallel::Threads() > 1 && (readOnly || QFileInfo::exists(KnowledgePath()));
    parallel::SideBySide(
        together, [&] { Records.LoadFromFile(DatabasePath(), !readOnly, progress); },
        [&] { Knowledge.LoadKnowledge(KnowledgePath(), !readOnly); });
}

void Program::SaveDatabase(const ::Records::Progress& progress) const
{
    Records.SaveToFile(DatabasePath(), progress);
}

void Program::SaveKnowledge() const
{
    Knowledge.SaveKnowledge(KnowledgePath());
}

bool Program::SaveDatabaseIfChanged(const ::Records::Progress& progress) const
{
    if (Records.FileHolds(DatabasePath(), progress)) return false;
    SaveDatabase(progress);
    return true;
}

bool Program::SaveKnowledgeIfChanged() const
{
    if (Knowledge.FileHolds(KnowledgePath())) return false;
    SaveKnowledge();
    return true;
}

void Program::beginBusy()
{
    if (m_busy++ == 0) Q_EMIT busyChanged(true);
}

void Program::endBusy(int changes)
{
    if (--m_busy == 0) Q_EMIT busyChanged(false);
    if (changes & ChangesListings) Q_EMIT listingsChanged(nullptr);
    if (changes & ChangesKnowledge) Q_EMIT knowledgeChanged();
    if (changes & ChangesFoundList) Q_EMIT foundListChanged();
}
