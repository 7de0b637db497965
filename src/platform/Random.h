// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <cstdint>

// The program's pseudo-random source: it starts from the same fixed state in
// every run, so a run repeats the picks of the one before.
class RandomSource
{
public:
    explicit RandomSource(uint64_t seed = 0x5EED2008u) : m_state(seed) {}

    // A whole number from 1 to n, each equally likely (rejection, no modulo bias).
    int Pick(int n)
    {
        if (n <= 1) return 1;
        const uint64_t range = static_cast<uint64_t>(n);
        const uint64_t limit = UINT64_MAX - UINT64_MAX % range;
        uint64_t x;
        do
            x = Next();
        while (x >= limit);
        return static_cast<int>(x % range) + 1;
    }

    // The next raw draw of the stream (splitmix64: tiny, fast and the same on
    // every platform), for callers that shape their own ranges.
    uint64_t Next() { return Mix(m_state += 0x9E3779B97F4A7C15ull); }

    // splitmix64's output function alone: spreads a value over all 64 bits, so
    // that neighbouring numbers (an index, a seed) give unrelated streams.
    static uint64_t Mix(uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint64_t m_state;
};
