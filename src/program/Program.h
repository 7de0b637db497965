// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "knowledge/KnowledgeBase.h"
#include "knowledge/ScoreColumns.h"
#include "platform/Random.h"
#include "store/Records.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class ScriptEngine;

// The state of one run of the program: the listing collection, the knowledge
// base and the other program-wide variables. One object exists per run and is
// handed by reference to every window and run that needs it; a test builds a
// fresh one. Its signals say what changed, so that windows need not poll.
class Program : public QObject
{
    Q_OBJECT
public:
    explicit Program(QString dataDir = QString());
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ::Records Records;
    KnowledgeBase Knowledge;
    QList<RecordPtr> FoundList;
    int MaxFound = 0;
    int DialogResult = 0;
    // The state of the re-index's progress dialog, which the running re-index reads.
    enum ProcessStates : int {
        ProcessIdle = 0,      // no dialog opened yet in this run of the program
        ProcessOpen = 2,      // the dialog is open and no stop was asked for
        ProcessCancelled = 3, // the user asked the re-index to stop
    };
    int ProcessState = ProcessIdle;
    RandomSource Random;
    ScriptEngine& Engine();
    // The search's compared values, kept between searches; they notice every
    // change of the listings and the knowledge base by themselves.
    ScoreColumns Columns;

    // Where both data files live (the executable's directory unless told otherwise).
    QString DataDir;
    QString DatabasePath() const;
    QString KnowledgePath() const;

    // Attribute k of the listing at position i (1-based) of the collection,
    // turned into a number by the attribute's kind. A formula that fails gives 0.
    // Raises the out-of-range error for a bad k or i, and the overflow error for a
    // number beyond single precision.
    float FormalizedValue(field::Field k, int i);

    // Empties FoundList.
    void ClearFoundList() { FoundList.clear(); }

    // Sets MaxFound to 10 and the attribute names.
    void InitAttributeNames();

    // Start-up: attribute names, the listings, the knowledge base, in this order.
    // Errors pass to the caller, who must then write neither file. A start that
    // only reads (readOnly) creates no missing file: it reads as empty.
    // `progress` follows the listings' load (on the thread that loads them).
    void StartUp(bool readOnly = false, const ::Records::Progress& progress = {});
    // Shutdown: the listings, then the knowledge base. Each step raises the file
    // error on failure; SaveDatabase and SaveKnowledge are also offered singly so
    // that a failed step can be tried again.
    void SaveDatabase(const ::Records::Progress& progress = {}) const;
    void SaveKnowledge() const;
    // The same, leaving a file alone that already holds what would be written
    // (so closing after only looking writes nothing, and a read-only folder
    // raises no error). True when the file was written.
    bool SaveDatabaseIfChanged(const ::Records::Progress& progress = {}) const;
    bool SaveKnowledgeIfChanged() const;

    // The one run going on that reads the listings and the knowledge base
    // (search, re-index, import); nothing may change them meanwhile.
    bool Busy() const { return m_busy > 0; }
    // What a run changes; announced when it ends, however it ends, once
    // Busy() is false again, so that a window may refill from the data then.
    enum Change { ChangesNothing = 0, ChangesListings = 1, ChangesKnowledge = 2, ChangesFoundList = 4 };
    class BusyScope
    {
    public:
        explicit BusyScope(Program& p, int changes = ChangesNothing) : m_p(p), m_changes(changes)
        {
            m_p.beginBusy();
        }
        ~BusyScope() { m_p.endBusy(m_changes); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        Program& m_p;
        int m_changes;
    };

    // For whoever changed the listings outside a run (an editor window): tells
    // the others. `source` is the window that made the change; it has brought
    // itself up to date already.
    void NotifyListingsChanged(QObject* source = nullptr) { Q_EMIT listingsChanged(source); }

Q_SIGNALS:
    // A search, re-index or import began (true) or ended (false).
    void busyChanged(bool busy);
    // Listings were added, removed, edited or imported.
    void listingsChanged(QObject* source);
    // The accepted values or the other knowledge-base tables changed.
    void knowledgeChanged();
    // A search has filled FoundList anew.
    void foundListChanged();

private:
    void beginBusy();
    void endBusy(int changes);

    std::unique_ptr<ScriptEngine> m_engine;
    int m_busy = 0;
};
