// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <stdexcept>

// The error kinds the program raises and passes to its callers. The message is
// Russian and fit to be shown to the user as it stands.
class VestranaError : public std::runtime_error
{
public:
    enum class Kind { OutOfRange, ReadPastEnd, File, Overflow, Format, Script };

    VestranaError(Kind kind, const QString& message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message)
    {
    }

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

    static VestranaError outOfRange(const QString& what)
    {
        return {Kind::OutOfRange, QStringLiteral("Индекс вне допустимого диапазона: ") + what};
    }
    static VestranaError overflow(const QString& what = QString())
    {
        return {Kind::Overflow,
                what.isEmpty() ? QStringLiteral("Переполнение") : QStringLiteral("Переполнение: ") + what};
    }

private:
    Kind m_kind;
    QString m_message;
};
