// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/Prompts.h"

class QWidget;

// Message boxes and input prompts of the desktop program, with Russian buttons.
class GuiPrompts : public Prompts
{
public:
    Button Message(const QString& text, const QString& title, int buttons = Ok,
                   Icon icon = Icon::None) override;
    [[nodiscard]] std::optional<QString> Input(const QString& prompt, const QString& title,
                                               const QString& initial) override;
};
