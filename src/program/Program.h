#pragma once

#include "knowledge/KnowledgeBase.h"
#include "platform/Random.h"
#include "store/Records.h"

#include <QList>
#include <QString>

#include <memory>

class Prompts;
class ScriptEngine;

// The state of one run of the program: the listing collection, the knowledge
// base and the other program-wide variables. One object exists per run and is
// handed by reference to every window and run that needs it; a test builds a
// fresh one.
class Program
{
public:
    explicit Program(QString dataDir = QString());
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ::Records Records;
    KnowledgeBase Knowledge;
    QList<RecordPtr> FoundList;
    int MaxFound = 0;
    int DialogResult = 0;
    int ProcessState = 0;
    RandomSource Random;
    ScriptEngine& Engine();

    // Where both data files live (the executable's directory unless told otherwise).
    QString DataDir;
    QString DatabasePath() const;
    QString KnowledgePath() const;

    // Attribute k of the listing at position i (1-based) of the collection,
    // turned into a number by the attribute's kind. A formula that fails gives 0.
    // Raises the out-of-range error for a bad k or i, and the overflow error for a
    // number beyond single precision.
    float FormalizedValue(int k, int i);

    // Empties FoundList.
    void ClearFoundList() { FoundList.clear(); }

    // Sets MaxFound to 10 and the attribute names.
    void InitAttributeNames();

    // Start-up: attribute names, the listings, the knowledge base, in this order.
    // Errors pass to the caller, who must then write neither file. A start that
    // only reads (readOnly) creates no missing file: it reads as empty.
    void StartUp(bool readOnly = false);
    // Shutdown: the listings, then the knowledge base. Each step raises the file
    // error on failure; SaveDatabase and SaveKnowledge are also offered singly so
    // that a failed step can be tried again.
    void SaveDatabase() const;
    void SaveKnowledge() const;

    // The one run going on that reads the listings and the knowledge base
    // (search, re-index, import); nothing may change them meanwhile.
    bool Busy() const { return m_busy > 0; }
    class BusyScope
    {
    public:
        explicit BusyScope(Program& p) : m_p(p) { ++m_p.m_busy; }
        ~BusyScope() { --m_p.m_busy; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        Program& m_p;
    };

    // Questions and messages to the user; set by whoever drives the program.
    Prompts* UserPrompts = nullptr;

private:
    std::unique_ptr<ScriptEngine> m_engine;
    int m_busy = 0;
};
