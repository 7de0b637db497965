// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/Parallel.h"

#include <QtGlobal>

// How the loaders read a data file and how the listings are saved. The
// defaults are what the program uses; tests make the blocks small and force
// one thread or two, so that every cut of a file is tried on a few lines.
struct LoadOptions
{
    // A file is read in blocks of about this many bytes, cut at line ends;
    // the two halves of a block are decoded side by side.
    qsizetype blockBytes = qsizetype(4) << 20;
    // Threads for decoding and encoding: 0 as the machine has cores (one
    // core: everything on the calling thread), 1 or 2 to force it.
    int threads = 0;

    bool TwoThreads() const { return threads > 0 ? threads > 1 : parallel::Threads() > 1; }
};
