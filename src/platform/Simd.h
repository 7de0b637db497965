// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

// The few processor-specific steps the hot loops take, named, so that no
// other folder spells an intrinsic. Each has a plain fallback that gives the
// same answer where the instruction set or the builtin is missing.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace simd {

// A bit for each of the 16 bytes at `p` that equals `byte`: bit i for p[i].
// Reads all 16 bytes, so they must be readable.
inline unsigned Matches16(const char* p, char byte)
{
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(byte))));
#else
    unsigned mask = 0;
    for (unsigned i = 0; i < 16; ++i)
        if (p[i] == byte) mask |= 1u << i;
    return mask;
#endif
}

// Asks the processor to start reading the cache line at `p`: for a walk
// over listings that each live in their own allocation, where the next
// address is known long before it is read. Never faults.
inline void Prefetch(const void* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

} // namespace simd
