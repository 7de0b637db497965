// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "program/Program.h"
#include "support/ScriptedPrompts.h"

#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// What a test of a window or a run starts from: a program whose data folder
// is a scratch folder of its own, with the attribute names a new knowledge
// base has, and prompts that answer from a queue.
struct ProgramSetup
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    Program program{dir.path()};

    ProgramSetup() { program.InitAttributeNames(); }
};

// The same with one window over the program.
template <class Window> struct WindowSetup : ProgramSetup
{
    std::unique_ptr<Window> form;

    // Opens the window over the program as it stands now, and shows it.
    void Open()
    {
        form = std::make_unique<Window>(program, prompts);
        form->show();
    }
};

} // namespace testsupport
