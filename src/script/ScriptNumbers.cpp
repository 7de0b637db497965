// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/Text.h"

#include <cmath>
#include <cstdint>

// Hex and Oct, the conversions to Byte, Currency and Date, the trigonometry, RGB.

namespace script {

namespace {

using Value = ScriptValue;

// Hex and Oct: an Integer (or Byte, Boolean, Empty) in 16 bits, anything else in 32.
Value radixText(const Args& a, int bits)
{
    const Value& v = a[0];
    if (v.isNull()) return v;
    std::uint32_t n = 0;
    switch (v.type()) {
    case Type::Empty:
        break;
    case Type::Boolean:
    case Type::Byte:
    case Type::Integer:
        n = static_cast<std::uint16_t>(v.intValue());
        break;
    default:
        n = static_cast<std::uint32_t>(argLong(v));
        break;
    }
    return text(QString::number(n, bits).toUpper());
}

Value fnHex(const Args& a)
{
    return radixText(a, 16);
}

Value fnOct(const Args& a)
{
    return radixText(a, 8);
}

Value fnCByte(const Args& a)
{
    // True is -1, whose low byte is 255.
    if (a[0].type() == Type::Boolean) return Value::fromByte(static_cast<std::uint8_t>(a[0].intValue()));
    const double r = text::RoundHalfEven(numberOf(a[0]));
    if (!(r >= 0 && r <= 255)) fail(Overflow);
    return Value::fromByte(static_cast<std::uint8_t>(r));
}

Value fnCCur(const Args& a)
{
    if (a[0].type() == Type::Currency) return a[0];
    const double scaled = text::RoundHalfEven(numberOf(a[0]) * 10000.0);
    if (!(scaled >= -9.2233720368547758e18 && scaled < 9.2233720368547758e18)) fail(Overflow);
    return Value::fromCurrency(static_cast<std::int64_t>(scaled));
}

Value fnCDate(const Args& a)
{
    return Value::fromDate(dateOf(a[0]));
}

Value fnAtn(const Args& a)
{
    return Value::fromDouble(std::atan(numberOf(a[0])));
}

Value fnCos(const Args& a)
{
    return Value::fromDouble(std::cos(numberOf(a[0])));
}

Value fnSin(const Args& a)
{
    return Value::fromDouble(std::sin(numberOf(a[0])));
}

Value fnTan(const Args& a)
{
    return checkedDouble(std::tan(numberOf(a[0])));
}

Value fnRGB(const Args& a)
{
    std::int32_t c[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = longArg(a[i]);
        if (c[i] < 0) fail(InvalidCall);
        c[i] = std::min(c[i], 255);
    }
    return Value::fromLong(c[0] + c[1] * 256 + c[2] * 65536);
}

// clang-format off
constexpr FnInfo kNumbers[] = {
    {"hex", Fn::Abs, 1, 1, fnHex},
    {"oct", Fn::Abs, 1, 1, fnOct},
    {"cbyte", Fn::Abs, 1, 1, fnCByte},
    {"ccur", Fn::Abs, 1, 1, fnCCur},
    {"cdate", Fn::Abs, 1, 1, fnCDate},
    {"atn", Fn::Abs, 1, 1, fnAtn},
    {"cos", Fn::Abs, 1, 1, fnCos},
    {"sin", Fn::Abs, 1, 1, fnSin},
    {"tan", Fn::Abs, 1, 1, fnTan},
    {"rgb", Fn::Abs, 3, 3, fnRGB},
};
// clang-format on

} // namespace

std::span<const FnInfo> numberFunctions()
{
    return kNumbers;
}

} // namespace script
