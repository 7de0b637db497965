// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

// The allocator's settings for a process that holds a large database.
namespace heap {

// Call once at the start of main. The heap then grows in steps of 64 MB in
// place of 128 KB: loading a million listings would otherwise grow it
// thousands of times, and with a helper thread decoding beside the loader each
// step of that thread's heap changes the page tables of a process that runs on
// two cores, which interrupts the other core. Memory that is never touched is
// never given to the process.
void PrepareForLargeData();

} // namespace heap
