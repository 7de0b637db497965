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
        if (n <= 1)
            return 1;
        const uint64_t range = static_cast<uint64_t>(n);
        const uint64_t limit = UINT64_MAX - UINT64_MAX % range;
        uint64_t x;
        do
            x = next();
        while (x >= limit);
        return static_cast<int>(x % range) + 1;
    }

private:
    uint64_t next()
    {
        // splitmix64: tiny, fast and the same on every platform
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    uint64_t m_state;
};
