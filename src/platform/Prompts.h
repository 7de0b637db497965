// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>

#include <optional>

// Every question and message to the user goes through this seam, so that a
// window shows a real message box and a test answers it.
class Prompts
{
public:
    enum Button { Ok = 0x1, Yes = 0x2, No = 0x4, Retry = 0x8, Cancel = 0x10, Discard = 0x20 };
    // Not a button: with Yes | No, "Нет" becomes the default, so that Enter
    // never confirms a question whose "Да" deletes something.
    static constexpr int DefaultNo = 0x100;
    enum class Icon { None, Information, Warning, Critical, Question };

    virtual ~Prompts() = default;

    // Shows `text` with the title and the buttons (an OR of Button values);
    // returns the button pressed (Cancel, or No, or Ok when the box was closed otherwise).
    virtual Button Message(const QString& text, const QString& title, int buttons = Ok,
                           Icon icon = Icon::None) = 0;
    // An input prompt; nothing when cancelled.
    [[nodiscard]] virtual std::optional<QString> Input(const QString& prompt, const QString& title,
                                                       const QString& initial = QString()) = 0;
};

// The title of a message box for which nothing else is named.
inline QString AppTitle()
{
    return QStringLiteral("Vestrana");
}
