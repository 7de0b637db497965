// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <exception>
#include <functional>
#include <thread>

// Pure computation over a range, spread over the processor's cores: the
// calling thread takes the last part itself and waits for the others, which
// run on threads kept for the purpose (a part nobody has started by then the
// caller runs too, so a call inside a part never waits on a busy pool). The
// parts must only read shared data and write their own slots; an exception
// from any part reaches the caller once all have ended. On one core, or for a
// range shorter than `grain`, everything runs on the calling thread.
namespace parallel {

void For(int begin, int end, int grain, const std::function<void(int begin, int end)>& body);

// Runs `second` on a helper thread while the caller runs `first`; without
// `parallel`, both run here, one after the other. A thread of its own, not
// the pool's: each side is long (a block of megabytes, a whole file), so
// starting a thread is lost in it, and the side never waits for a pool kept
// busy by For calls within the other. An exception from `first`
// is the one raised (after the helper has ended); one from `second` is raised
// after both have ended.
template <typename First, typename Second> void SideBySide(bool parallel, First&& first, Second&& second)
{
    if (!parallel) {
        first();
        second();
        return;
    }
    std::exception_ptr failure;
    std::thread helper([&] {
        try {
            second();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        first();
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failure) std::rethrow_exception(failure);
}

// How many threads For uses at most.
int Threads();

} // namespace parallel
