// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <functional>

class QWidget;

// Work too long for one event (loading or saving a million listings) runs on a
// helper thread while this thread keeps the windows answering. Meanwhile the
// user's input and the closing of every window but `closable` are held back,
// so that nothing changes the data the work reads or fills; `tick` runs here
// about every 50 ms, for a progress display. An exception from `work` is
// raised here once the helper has ended.
void RunAside(const std::function<void()>& work, const std::function<void()>& tick = {},
              QWidget* closable = nullptr);

// Shows `w` and paints it at once, before a long run that lets events run only
// now and then starts: a window that stayed blank for a second looks frozen.
void ShowAtOnce(QWidget* w);
