// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <functional>

// How a long run (the search, the re-index, the import) talks to whoever
// drives it: a window, the command line or a test. Every run takes one, so all
// of them are driven the same way; a run that needs more takes a struct
// derived from this one. Every member may be empty.
struct RunContext
{
    // The text to show while the run goes on ("Обработка данных ( 12%)...",
    // the re-index comment); called when it changes.
    std::function<void(const QString&)> progress;
    // Progress as maximum and value, for a bar; called when the value has
    // moved enough to be seen, never per listing.
    std::function<void(qint64 maximum, qint64 value)> steps;
    // One line of the run's log.
    std::function<void(const QString&)> log;
    // Lets pending events run and returns at once; a run calls it at most
    // every ~15 ms while it works.
    std::function<void()> yield;
    // Lets events run, first waiting until there is at least one: a run that
    // has nothing to do until a page comes. Empty means yield.
    std::function<void()> waitForEvents;
    // Read at the run's checkpoints (after a yield): true ends the run there.
    std::function<bool()> stopRequested;

    void Yield() const
    {
        if (yield) yield();
    }
    void WaitForEvents() const
    {
        if (waitForEvents)
            waitForEvents();
        else
            Yield();
    }
    bool StopRequested() const { return stopRequested && stopRequested(); }
    void Log(const QString& line) const
    {
        if (log) log(line);
    }

    // Yields on the Qt event loop of this thread, as the windows, the command
    // line and the tests drive their runs. A yield runs the pending events,
    // for at most `sliceMs` when that is positive.
    void UseEventLoop(int sliceMs = 10)
    {
        if (sliceMs > 0)
            yield = [sliceMs] { QCoreApplication::processEvents(QEventLoop::AllEvents, sliceMs); };
        else
            yield = [] { QCoreApplication::processEvents(); };
        waitForEvents = [] {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        };
    }
};
