// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>
#include <optional>

// Answers the program's questions in a test: every message is recorded, and the
// answers are taken from a queue (Ok / the first offered button when it runs dry).
class ScriptedPrompts : public Prompts
{
public:
    struct Shown
    {
        QString text;
        QString title;
        int buttons;
        Icon icon;
    };

    QList<Shown> messages;
    QQueue<Button> answers;
    QQueue<std::optional<QString>> inputs;
    QList<QString> inputPrompts;
    // Runs while a message is "on screen", to look at the program's state then.
    std::function<void(const Shown&)> onMessage;

    Button Message(const QString& text, const QString& title, int buttons, Icon icon) override
    {
        messages.append({text, title, buttons, icon});
        if (onMessage) onMessage(messages.last());
        if (!answers.isEmpty()) return answers.dequeue();
        for (Button b : {Ok, Yes, Retry, No, Cancel, Discard})
            if (buttons & b) return b;
        return Ok;
    }

    [[nodiscard]] std::optional<QString> Input(const QString& prompt, const QString& title,
                                               const QString&) override
    {
        inputPrompts.append(title + QStringLiteral(": ") + prompt);
        if (inputs.isEmpty()) return std::nullopt;
        return inputs.dequeue();
    }

    QStringList texts() const
    {
        QStringList out;
        for (const Shown& s : messages)
            out << s.text;
        return out;
    }
};
