// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QElapsedTimer>

#include <functional>

// Lets pending events run from inside a long run at most every `ms`
// milliseconds: the windows stay responsive, and a million listings do not cost
// a million passes of the event loop.
class TimeSlice
{
public:
    explicit TimeSlice(std::function<void()> yield, int ms = 15) : m_yield(std::move(yield)), m_ms(ms)
    {
        m_timer.start();
    }

    // A yield point: runs the events when the slice is used up.
    void operator()()
    {
        if (++m_calls < 64) return;
        m_calls = 0;
        if (m_timer.elapsed() >= m_ms) now();
    }

    // Runs the events at once.
    void now()
    {
        if (m_yield) m_yield();
        m_timer.restart();
        m_calls = 0;
    }

private:
    std::function<void()> m_yield;
    int m_ms;
    int m_calls = 0;
    QElapsedTimer m_timer;
};
