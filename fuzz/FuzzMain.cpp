// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// One libFuzzer executable per entry point; FUZZ_ENTRY names it.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FUZZ_ENTRY(data, size);
    return 0;
}
