// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "support/Waits.h"

#include <QSignalSpy>

namespace testsupport {

bool StaysQuiet(QSignalSpy& spy, int ms)
{
    return !spy.wait(ms);
}

} // namespace testsupport
