// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QApplication>

class QSocketNotifier;

// The desktop application: an error that reaches an event handler (a slot
// catches its own, see SlotGuard.h) is shown in a message box as a last resort
// and the program keeps running; SIGTERM, SIGINT and SIGHUP close the
// main window normally, so the shutdown sequence saves the data.
class GuiApplication : public QApplication
{
    Q_OBJECT
public:
    GuiApplication(int& argc, char** argv);
    ~GuiApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Routes the termination signals to `onSignal`, on the event loop.
    void WatchTerminationSignals();

Q_SIGNALS:
    void terminationRequested();

private:
    void reportError(const QString& what);
    QSocketNotifier* m_notifier = nullptr;
    bool m_reporting = false;
};
