// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/StopSignals.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int)
{
    g_stop = 1;
}

} // namespace

StopSignals::StopSignals()
{
    g_stop = 0;
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &m_int);
    sigaction(SIGTERM, &sa, &m_term);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &m_int, nullptr);
    sigaction(SIGTERM, &m_term, nullptr);
}

bool StopSignals::Raised()
{
    return g_stop != 0;
}
