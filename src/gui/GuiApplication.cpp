// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/GuiApplication.h"

#include "gui/SlotGuard.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFd[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalFd[0], &c, 1);
}

} // namespace

GuiApplication::GuiApplication(int& argc, char** argv) : QApplication(argc, argv) {}

GuiApplication::~GuiApplication() = default;

void GuiApplication::WatchTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFd) != 0) return;
    m_notifier = new QSocketNotifier(g_signalFd[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalFd[1], &c, 1);
        Q_EMIT terminationRequested();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

void GuiApplication::reportError(const QString& what)
{
    if (m_reporting) return;
    m_reporting = true;
    QMessageBox box(QMessageBox::Critical, AppTitle(), SlotErrorText(what));
    box.exec();
    m_reporting = false;
}

bool GuiApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const VestranaError& e) {
        reportError(e.message());
    } catch (const std::bad_alloc&) {
        reportError(QStringLiteral("недостаточно памяти"));
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}
