// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// How long the main window stops answering: the event loop's longest stall
// while the program starts, searches, re-indexes, imports and exits, over the
// data files of a folder (vestrana-gendata --count 1000000 DIR makes them).
//
//   bench_stall DIR [ROUNDS]
//
// A probe thread posts an event every 5 ms with the time it was sent; the
// longest wait before the window's thread handled one is the stall. Each
// phase prints its stall and its duration in ms; with several rounds, the
// median of each.

#include "gui/GuiPrompts.h"
#include "gui/MainForm.h"
#include "gui/ProcessForm.h"
#include "gui/SyncForm.h"
#include "platform/Prompts.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "store/Fields.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class ProbeEvent : public QEvent
{
public:
    static inline const auto Type = static_cast<QEvent::Type>(QEvent::registerEventType());
    explicit ProbeEvent(Clock::time_point at) : QEvent(Type), sent(at) {}
    Clock::time_point sent;
};

// Receives the probes on the window's thread and keeps the longest wait.
class Probe : public QObject
{
public:
    Probe()
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                QCoreApplication::postEvent(this, new ProbeEvent(Clock::now()));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~Probe() override
    {
        m_stop = true;
        m_thread.join();
        QCoreApplication::removePostedEvents(this);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    void Reset() { m_longest = {}; }
    double LongestMs() const { return std::chrono::duration<double, std::milli>(m_longest).count(); }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != ProbeEvent::Type) return QObject::event(e);
        m_longest = std::max(m_longest, Clock::now() - static_cast<ProbeEvent*>(e)->sent);
        return true;
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    Clock::duration m_longest{};
};

// Answers "Нет" where it may (the import's delete-all question), else Retry or
// Ok, and says nothing.
class QuietPrompts : public Prompts
{
public:
    Button Message(const QString&, const QString&, int buttons, Icon) override
    {
        for (Button b : {No, Retry, Ok})
            if (buttons & b) return b;
        return Cancel;
    }
    std::optional<QString> Input(const QString&, const QString&, const QString& initial) override
    {
        return initial;
    }
};

// Lets events run for `ms` (what a phase leaves behind is counted with it).
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void waitFor(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

std::map<QString, std::vector<std::pair<double, double>>> results;
std::vector<QString> order;

template <typename Body> void phase(Probe& probe, const QString& name, Body&& body)
{
    settle(50);
    probe.Reset();
    const auto start = Clock::now();
    body();
    settle(100);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count() - 100;
    if (!results.count(name)) order.push_back(name);
    results[name].push_back({probe.LongestMs(), ms});
    std::printf("%-10s stall %8.1f ms   phase %8.1f ms\n", qPrintable(name), probe.LongestMs(), ms);
    std::fflush(stdout);
}

void round(const QString& source, const QString& site)
{
    // A fresh copy of the files, since the round changes them.
    QTemporaryDir dir;
    for (const char* f : {"database.txt", "knows.txt"})
        QFile::copy(QDir(source).filePath(QString::fromLatin1(f)), dir.filePath(QString::fromLatin1(f)));
    Probe probe;
    QuietPrompts prompts;
    Program program(dir.path());
    MainForm form(program, prompts);
    phase(probe, QStringLiteral("start-up"), [&] {
        form.show();
        form.StartUp();
    });
    phase(probe, QStringLiteral("search"), [&] {
        // Wishes that no listing meets exactly: every listing is scored and ranked.
        form.WishBox(field::Rooms)->setEditText(QStringLiteral("2"));
        form.WishBox(field::Price)->setEditText(QStringLiteral("1500"));
        bool finished = false;
        QObject::connect(&form, &MainForm::searchFinished, &form, [&] { finished = true; });
        form.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        waitFor([&] { return finished; });
    });
    phase(probe, QStringLiteral("re-index"), [&] { (void)RunReindex(program, &form); });
    phase(probe, QStringLiteral("import"), [&] {
        SyncForm sync(program, prompts, nullptr, site);
        sync.RunOptions.requestsPerSecond = 0;
        sync.show();
        // The click returns once the run has ended, having let events run meanwhile.
        sync.Command1->click();
    });
    phase(probe, QStringLiteral("exit"), [&] { form.close(); });
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("bench_stall DIR [ROUNDS]\n", stderr);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    // The listing site, on its own thread as a real site would be.
    QThread server;
    server.start();
    auto* site = new DemoSite({.count = 500, .pageSize = 50});
    site->moveToThread(&server);
    bool listening = false;
    QMetaObject::invokeMethod(
        site, [&] { listening = site->Listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::fputs("the demo site could not listen\n", stderr);
        return 1;
    }
    const QString address = site->Address();

    for (int r = 0; r < rounds; ++r)
        round(source, address);
    if (rounds > 1) {
        std::printf("median of %d rounds:\n", rounds);
        for (const QString& name : order) {
            std::vector<double> stalls, times;
            for (const auto& [stall, ms] : results[name]) {
                stalls.push_back(stall);
                times.push_back(ms);
            }
            std::printf("%-10s stall %8.1f ms   phase %8.1f ms\n", qPrintable(name), median(stalls),
                        median(times));
        }
    }
    QMetaObject::invokeMethod(site, &QObject::deleteLater);
    server.quit();
    server.wait();
    return 0;
}
