#include "search/Program.h"

#include "platform/ScriptEngine.h"

#include <QCoreApplication>
#include <QDir>

Program::Program(QString dataDir)
    : DataDir(dataDir.isEmpty() ? QCoreApplication::applicationDirPath() : std::move(dataDir)),
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

void Program::InitAttributeNames()
{
    MaxFound = 10;
    const auto& names = DefaultAttributeNames();
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        Knowledge.AttributeNames[static_cast<size_t>(k)] = names[static_cast<size_t>(k)];
}

void Program::StartUp(bool readOnly)
{
    InitAttributeNames();
    Records.LoadFromFile(DatabasePath(), !readOnly);
    Knowledge.LoadKnowledge(KnowledgePath(), !readOnly);
}

void Program::SaveDatabase() const
{
    Records.SaveToFile(DatabasePath());
}

void Program::SaveKnowledge() const
{
    Knowledge.SaveKnowledge(KnowledgePath());
}
