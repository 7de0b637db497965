// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

class QSignalSpy;

// Every wait of the tests that is not for a condition lives here, named for
// what it proves; shape/no_bare_qwait keeps bare waits and sleeps out of the
// test files.
namespace testsupport {

// For checks that a signal does not come again: runs events for `ms`
// milliseconds and is true when `spy` recorded nothing more meanwhile.
bool StaysQuiet(QSignalSpy& spy, int ms);

} // namespace testsupport
