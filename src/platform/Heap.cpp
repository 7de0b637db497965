// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Heap.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace heap {

void PrepareForLargeData()
{
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}

} // namespace heap
