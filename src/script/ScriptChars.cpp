// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/CodePage.h"

// Asc, Chr and their W and B forms.

namespace script {

namespace {

using Value = ScriptValue;

// The code page of the data files stands for the "ANSI" code of Asc and Chr.
Value fnAsc(const Args& a)
{
    const QString s = textArg(a[0]);
    if (s.isEmpty()) fail(InvalidCall);
    const QByteArray b = textfile::ToCp1251(QStringView(s).left(1));
    return Value::fromInteger(static_cast<std::int16_t>(b.isEmpty() ? 63 : static_cast<unsigned char>(b[0])));
}

Value fnAscW(const Args& a)
{
    const QString s = textArg(a[0]);
    if (s.isEmpty()) fail(InvalidCall);
    return Value::fromInteger(static_cast<std::int16_t>(s[0].unicode()));
}

Value fnAscB(const Args& a)
{
    const QString s = textArg(a[0]);
    if (s.isEmpty()) fail(InvalidCall);
    return Value::fromInteger(static_cast<std::int16_t>(s[0].unicode() & 0xFF));
}

Value fnChr(const Args& a)
{
    const std::int32_t n = longArg(a[0]);
    if (n < 0 || n > 255) fail(InvalidCall);
    return text(ansiChar(n));
}

Value fnChrW(const Args& a)
{
    const std::int32_t n = longArg(a[0]);
    if (n < -32768 || n > 65535) fail(InvalidCall);
    return text(QString(QChar(static_cast<char16_t>(n < 0 ? n + 65536 : n))));
}

Value fnChrB(const Args& a)
{
    const std::int32_t n = longArg(a[0]);
    if (n < 0 || n > 255) fail(InvalidCall);
    return text(QString(QChar(static_cast<char16_t>(n))));
}

// clang-format off
constexpr FnInfo kChars[] = {
    {"asc", Fn::Abs, 1, 1, fnAsc},
    {"ascw", Fn::Abs, 1, 1, fnAscW},
    {"ascb", Fn::Abs, 1, 1, fnAscB},
    {"chr", Fn::Abs, 1, 1, fnChr},
    {"chrw", Fn::Abs, 1, 1, fnChrW},
    {"chrb", Fn::Abs, 1, 1, fnChrB},
};
// clang-format on

} // namespace

QString ansiChar(std::int32_t code)
{
    const char c = static_cast<char>(static_cast<unsigned char>(code));
    return textfile::FromCp1251(&c, 1);
}

std::span<const FnInfo> charFunctions()
{
    return kChars;
}

} // namespace script
