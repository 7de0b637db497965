// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <QString>

#include <exception>
#include <new>
#include <utility>

// An exception must not pass through Qt's signal and slot calls, so every
// slot that can fail runs its body through Guarded: an error is shown through
// the prompts and the program goes on, the action undone.

// The message of an error that ended an action.
inline QString SlotErrorText(const QString& what)
{
    return QStringLiteral("Ошибка: %1\n\nДействие не выполнено; программа продолжает работу, "
                          "данные сохранятся при закрытии.")
        .arg(what);
}

inline void ReportSlotError(Prompts& prompts, const QString& what)
{
    prompts.Message(SlotErrorText(what), AppTitle(), Prompts::Ok, Prompts::Icon::Critical);
}

// Runs `body`; returns false when it raised an error, which has been shown.
template <class Body> bool Guarded(Prompts& prompts, Body&& body)
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const VestranaError& e) {
        ReportSlotError(prompts, e.message());
    } catch (const std::bad_alloc&) {
        ReportSlotError(prompts, QStringLiteral("недостаточно памяти"));
    } catch (const std::exception& e) {
        ReportSlotError(prompts, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

// A slot that runs the member function through Guarded, for connect().
template <class Object, class... Args>
auto GuardedSlot(Prompts& prompts, Object* object, void (Object::*member)(Args...))
{
    return
        [&prompts, object, member](Args... args) { Guarded(prompts, [&] { (object->*member)(args...); }); };
}
