// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/AsideWork.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <exception>
#include <thread>

namespace {

// Swallows what the user does to any window while the work goes on; the
// window system's own events (painting, resizing) still pass.
class InputHold : public QObject
{
public:
    explicit InputHold(QWidget* closable) : m_closable(closable) { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return watched->isWidgetType() || watched->isWindowType();
        case QEvent::Close:
            return watched->isWidgetType() && watched != m_closable;
        default:
            return false;
        }
    }

private:
    QWidget* m_closable;
};

} // namespace

void RunAside(const std::function<void()>& work, const std::function<void()>& tick, QWidget* closable)
{
    InputHold hold(closable);
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(50);
    if (tick) QObject::connect(&timer, &QTimer::timeout, tick);
    std::exception_ptr failure;
    // The quit is queued: it arrives once the loop runs, however soon the work ends.
    std::thread helper([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    timer.start();
    loop.exec();
    helper.join();
    timer.stop();
    if (tick) tick();
    if (failure) std::rethrow_exception(failure);
}

void ShowAtOnce(QWidget* w)
{
    w->show();
    // The window system maps the window in its own time; wait for that a
    // little, then paint it now rather than at the run's first yield.
    QElapsedTimer waited;
    waited.start();
    while (w->windowHandle() && !w->windowHandle()->isExposed() && waited.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    w->repaint();
}
