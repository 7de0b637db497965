// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <csignal>

// Ctrl-C and a termination request set the stop flag instead of ending the
// process, so that what was imported is still saved. Held while a command
// that can be stopped runs; the previous handlers come back after it.
class StopSignals
{
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool Raised();

private:
    struct sigaction m_int = {};
    struct sigaction m_term = {};
};
