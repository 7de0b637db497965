// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <cmath>

// FormatNumber, FormatCurrency and FormatPercent; numbers keep "." as the
// decimal point.

namespace script {

namespace {

using Value = ScriptValue;

// Tristate arguments: -1 True, 0 False, -2 the default.
bool tristateArg(const Args& a, int i, bool fallback)
{
    if (!a.has(i)) return fallback;
    const std::int32_t t = longArg(a[i]);
    if (t == -2) return fallback;
    if (t != -1 && t != 0) fail(InvalidCall);
    return t == -1;
}

// FormatNumber and its kin: "." as the decimal point as everywhere in formulas;
// digits grouped by threes unless asked not to, as the Russian regional settings do, with a
// plain space (the same one the explicit grouping has always written, so a formula can type it).
QString formatted(double x, const Args& a, int first)
{
    std::int32_t digits = a.has(first) ? longArg(a[first]) : -1;
    if (digits == -1) digits = 2;
    if (digits < 0 || digits > 255) fail(InvalidCall);
    const bool leading = tristateArg(a, first + 1, true);
    const bool parens = tristateArg(a, first + 2, false);
    const bool group = tristateArg(a, first + 3, true);
    if (!std::isfinite(x) || std::fabs(x) >= 1e300) fail(Overflow);
    QString t = QString::number(std::fabs(x), 'f', digits);
    const bool negative =
        x < 0 && std::any_of(t.begin(), t.end(), [](QChar c) { return c >= u'1' && c <= u'9'; });
    if (!leading && t.startsWith(u"0.")) t.remove(0, 1);
    if (group) {
        qsizetype point = t.indexOf(u'.');
        if (point < 0) point = t.size();
        for (qsizetype k = point - 3; k > 0; k -= 3)
            t.insert(k, u' ');
    }
    if (negative) t = parens ? QString(u'(' + t + u')') : QString(u'-' + t);
    return t;
}

Value fnFormatNumber(const Args& a)
{
    return text(formatted(numberOf(a[0]), a, 1));
}

Value fnFormatCurrency(const Args& a)
{
    return text(formatted(numberOf(a[0]), a, 1) + QStringLiteral(" ₽"));
}

Value fnFormatPercent(const Args& a)
{
    return text(formatted(numberOf(a[0]) * 100, a, 1) + u'%');
}

// clang-format off
constexpr FnInfo kFormats[] = {
    {"formatnumber", Fn::Abs, 1, 5, fnFormatNumber},
    {"formatcurrency", Fn::Abs, 1, 5, fnFormatCurrency},
    {"formatpercent", Fn::Abs, 1, 5, fnFormatPercent},
};
// clang-format on

} // namespace

std::span<const FnInfo> formatFunctions()
{
    return kFormats;
}

} // namespace script
