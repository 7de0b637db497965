// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Parallel.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace parallel {

int Threads()
{
    static const int threads = [] {
        const unsigned hw = std::thread::hardware_concurrency();
        return static_cast<int>(std::clamp(hw, 1u, 8u));
    }();
    return threads;
}

void For(int begin, int end, int grain, const std::function<void(int, int)>& body)
{
    const int n = end - begin;
    if (n <= 0) return;
    const int parts = std::clamp(n / std::max(grain, 1), 1, Threads());
    if (parts == 1) {
        body(begin, end);
        return;
    }
    std::vector<std::exception_ptr> errors(static_cast<size_t>(parts));
    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(parts - 1));
    auto bounds = [&](int p) { return begin + static_cast<int>(static_cast<long long>(n) * p / parts); };
    for (int p = 0; p + 1 < parts; ++p) {
        workers.emplace_back([&, p] {
            try {
                body(bounds(p), bounds(p + 1));
            } catch (...) {
                errors[static_cast<size_t>(p)] = std::current_exception();
            }
        });
    }
    try {
        body(bounds(parts - 1), end);
    } catch (...) {
        errors.back() = std::current_exception();
    }
    for (std::thread& w : workers)
        w.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

} // namespace parallel
