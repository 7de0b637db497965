// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Revision.h"

#include <atomic>

namespace revision {

quint64 Next()
{
    // Each thread takes a block at a time, so that threads decoding listings
    // side by side do not fight over one counter.
    constexpr quint64 kBlock = 4096;
    static std::atomic<quint64> next{1};
    thread_local quint64 current = 0, end = 0;
    if (current == end) {
        current = next.fetch_add(kBlock, std::memory_order_relaxed);
        end = current + kBlock;
    }
    return current++;
}

} // namespace revision
