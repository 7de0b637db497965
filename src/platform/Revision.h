// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QtGlobal>

// A number never handed out before in this process, from any thread: the mark
// of one state of a piece of data, so that a cache built from that state can
// tell it is still current by comparing marks. A copy of the data keeps the
// mark (its content is the same); every change takes a new one.
namespace revision {

quint64 Next();

} // namespace revision
