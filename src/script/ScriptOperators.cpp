// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <utility>

namespace script {

namespace {

__extension__ typedef __int128 Int128; // exact Currency products

// Rank of an arithmetic operand: the result takes the widest rank.
enum class Rank : std::uint8_t { Byte, Integer, Long, Currency, Single, Double };

struct Operand
{
    Rank rank;
    std::int64_t i;
    double d;
};

Operand operandOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Empty:
        return {Rank::Integer, 0, 0};
    case Type::Byte:
        return {Rank::Byte, v.intValue(), static_cast<double>(v.intValue())};
    case Type::Boolean:
    case Type::Integer:
        return {Rank::Integer, v.intValue(), static_cast<double>(v.intValue())};
    case Type::Long:
        return {Rank::Long, v.intValue(), static_cast<double>(v.intValue())};
    case Type::Currency: // i holds the amount times 10000
        return {Rank::Currency, v.currencyValue(), static_cast<double>(v.currencyValue()) / 10000};
    case Type::Single:
        return {Rank::Single, 0, v.realValue()};
    case Type::Double:
    case Type::Date:
        return {Rank::Double, 0, v.realValue()};
    case Type::String:
        return {Rank::Double, 0, textNumber(v.stringValue())};
    case Type::Array:
        fail(TypeMismatch);
    case Type::Null:
        break;
    }
    fail(InvalidNull);
}

// Operand of \ and Mod: rounded to a whole number; says whether it was Integer-sized.
std::int64_t wholeOperand(const ScriptValue& v, bool& integer)
{
    switch (v.type()) {
    case Type::Empty:
        return 0;
    case Type::Boolean:
    case Type::Byte:
    case Type::Integer:
        return v.intValue();
    case Type::Long:
        integer = false;
        return v.intValue();
    default:
        integer = false;
        return roundedLong(numberOf(v));
    }
}

// Operand of the bitwise (logical) operators. Kinds are ordered by width.
struct Bits
{
    enum Kind : std::uint8_t { Null, Bool, Integer, Long } kind;
    std::int32_t v;
};

Bits bitsOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Null:
        return {Bits::Null, 0};
    case Type::Empty:
        return {Bits::Integer, 0};
    case Type::Boolean:
        return {Bits::Bool, v.intValue()};
    case Type::Byte:
    case Type::Integer:
        return {Bits::Integer, v.intValue()};
    case Type::Long:
        return {Bits::Long, v.intValue()};
    default:
        return {Bits::Long, roundedLong(numberOf(v))};
    }
}

ScriptValue fromBits(Bits::Kind kind, std::int32_t v)
{
    switch (kind) {
    case Bits::Bool:
        return ScriptValue::fromBool(v != 0);
    case Bits::Integer:
        return ScriptValue::fromInteger(static_cast<std::int16_t>(v));
    case Bits::Long:
        return ScriptValue::fromLong(v);
    case Bits::Null:
        break;
    }
    return ScriptValue::null();
}

// Currency arithmetic on the amounts times 10000, exact; a product is rounded
// half to even to four decimals.
ScriptValue currencyArithmetic(Arith op, const Operand& x, const Operand& y)
{
    const auto scaled = [](const Operand& o) -> Int128 {
        return o.rank == Rank::Currency ? Int128(o.i) : Int128(o.i) * 10000;
    };
    const Int128 a = scaled(x), b = scaled(y);
    Int128 r = 0;
    switch (op) {
    case Arith::Add:
        r = a + b;
        break;
    case Arith::Sub:
        r = a - b;
        break;
    case Arith::Mul: {
        const Int128 p = a * b;
        r = p / 10000;
        const Int128 rest = p % 10000;
        const Int128 twice = rest < 0 ? -2 * rest : 2 * rest;
        if (twice > 10000 || (twice == 10000 && (r % 2 != 0))) r += p < 0 ? -1 : 1;
        break;
    }
    }
    if (r > std::numeric_limits<std::int64_t>::max() || r < std::numeric_limits<std::int64_t>::min())
        fail(Overflow);
    return ScriptValue::fromCurrency(static_cast<std::int64_t>(r));
}

} // namespace

ScriptValue dateResult(double serial)
{
    if (!(serial >= kMinDate && serial <= kMaxDate)) fail(Overflow);
    return ScriptValue::fromDate(serial);
}

ScriptValue arithmetic(Arith op, const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull()) return ScriptValue::null();
    if (op == Arith::Add) {
        const bool sa = a.type() == Type::String, sb = b.type() == Type::String;
        // Text joins text; Empty counts as "" beside a text.
        if ((sa && sb) || (sa && b.isEmpty()) || (sb && a.isEmpty())) {
            spendText(a.stringValue().size() + b.stringValue().size());
            return ScriptValue::fromString(a.stringValue() + b.stringValue());
        }
    }
    const Operand x = operandOf(a);
    const Operand y = operandOf(b);
    Rank rank = std::max(x.rank, y.rank);
    if (rank == Rank::Single && (x.rank == Rank::Long || y.rank == Rank::Long || x.rank == Rank::Currency ||
                                 y.rank == Rank::Currency))
        rank = Rank::Double;
    if (rank <= Rank::Long) {
        std::int64_t r = 0;
        switch (op) {
        case Arith::Add:
            r = x.i + y.i;
            break;
        case Arith::Sub:
            r = x.i - y.i;
            break;
        case Arith::Mul:
            r = x.i * y.i;
            break;
        }
        if (rank == Rank::Byte && r >= 0 && r <= 255)
            return ScriptValue::fromByte(static_cast<std::uint8_t>(r));
        return narrowed(r, rank <= Rank::Integer);
    }
    if (rank == Rank::Currency) return currencyArithmetic(op, x, y);
    // A date moved by a number stays a date; the distance of two dates is a number.
    const bool da = a.type() == Type::Date, db = b.type() == Type::Date;
    if ((da || db) && op != Arith::Mul && !(op == Arith::Sub && da && db)) {
        const double r = op == Arith::Add ? x.d + y.d : x.d - y.d;
        return dateResult(r);
    }
    double r = 0;
    switch (op) {
    case Arith::Add:
        r = x.d + y.d;
        break;
    case Arith::Sub:
        r = x.d - y.d;
        break;
    case Arith::Mul:
        r = x.d * y.d;
        break;
    }
    if (rank == Rank::Single && text::FitsSingle(r)) return ScriptValue::fromSingle(static_cast<float>(r));
    return checkedDouble(r);
}

ScriptValue divide(const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull()) return ScriptValue::null();
    const double x = numberOf(a);
    const double y = numberOf(b);
    if (y == 0) fail(x == 0 ? Overflow : DivisionByZero);
    return checkedDouble(x / y);
}

ScriptValue integerDivide(const ScriptValue& a, const ScriptValue& b, bool modulo)
{
    if (a.isNull() || b.isNull()) return ScriptValue::null();
    bool integer = true;
    const std::int64_t x = wholeOperand(a, integer);
    const std::int64_t y = wholeOperand(b, integer);
    if (y == 0) fail(DivisionByZero);
    const std::int64_t r = modulo ? x % y : x / y;
    if (r > std::numeric_limits<std::int32_t>::max()) fail(Overflow);
    return narrowed(r, integer);
}

ScriptValue power(const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull()) return ScriptValue::null();
    const double x = numberOf(a);
    const double y = numberOf(b);
    if ((x < 0 && y != std::floor(y)) || (x == 0 && y < 0)) fail(InvalidCall);
    return checkedDouble(std::pow(x, y));
}

ScriptValue negate(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Null:
        return v;
    case Type::Empty:
        return ScriptValue::fromInteger(0);
    case Type::Boolean:
    case Type::Byte:
    case Type::Integer:
        return narrowed(-std::int64_t(v.intValue()), true);
    case Type::Long:
        return narrowed(-std::int64_t(v.intValue()), false);
    case Type::Single:
        return ScriptValue::fromSingle(-static_cast<float>(v.realValue()));
    case Type::Double:
        return ScriptValue::fromDouble(-v.realValue());
    case Type::Currency:
        if (v.currencyValue() == std::numeric_limits<std::int64_t>::min()) fail(Overflow);
        return ScriptValue::fromCurrency(-v.currencyValue());
    case Type::Date:
        return dateResult(-v.realValue());
    case Type::String:
        return ScriptValue::fromDouble(-textNumber(v.stringValue()));
    case Type::Array:
        fail(TypeMismatch);
    }
    return v;
}

ScriptValue concatenate(const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() && b.isNull()) return ScriptValue::null();
    if (a.type() == Type::String && b.type() == Type::String) {
        spendText(a.stringValue().size() + b.stringValue().size());
        return ScriptValue::fromString(a.stringValue() + b.stringValue());
    }
    QString x = a.toString();
    const QString y = b.toString();
    spendText(x.size() + y.size());
    return ScriptValue::fromString(std::move(x) + y);
}
ScriptValue compare(Compare op, const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull()) return ScriptValue::null();
    if (a.isArray() || b.isArray()) fail(TypeMismatch);
    const bool sa = a.type() == Type::String, sb = b.type() == Type::String;
    int c = 0;
    if (sa || sb) {
        if ((sa || a.isEmpty()) && (sb || b.isEmpty())) {
            // Code unit order, case-sensitive.
            const QStringView x(a.stringValue()), y(b.stringValue());
            c = std::u16string_view(x.utf16(), static_cast<size_t>(x.size()))
                    .compare(std::u16string_view(y.utf16(), static_cast<size_t>(y.size())));
        } else {
            c = sa ? 1 : -1; // a number is less than any text
        }
    } else {
        const double x = numberOf(a);
        const double y = numberOf(b);
        c = x < y ? -1 : x > y ? 1 : 0;
    }
    bool r = false;
    switch (op) {
    case Compare::Eq:
        r = c == 0;
        break;
    case Compare::Ne:
        r = c != 0;
        break;
    case Compare::Lt:
        r = c < 0;
        break;
    case Compare::Gt:
        r = c > 0;
        break;
    case Compare::Le:
        r = c <= 0;
        break;
    case Compare::Ge:
        r = c >= 0;
        break;
    }
    return ScriptValue::fromBool(r);
}

ScriptValue logicalNot(const ScriptValue& v)
{
    const Bits x = bitsOf(v);
    return fromBits(x.kind, ~x.v);
}

ScriptValue logical(Logic op, const ScriptValue& a, const ScriptValue& b)
{
    const Bits x = bitsOf(a);
    const Bits y = bitsOf(b);
    if (x.kind == Bits::Null || y.kind == Bits::Null) {
        // Three-valued logic: Null is "unknown", yet some results do not depend on it.
        if (x.kind == Bits::Null && y.kind == Bits::Null) return ScriptValue::null();
        const Bits& known = x.kind == Bits::Null ? y : x;
        switch (op) {
        case Logic::And:
            if (known.v == 0) return fromBits(known.kind, 0);
            break;
        case Logic::Or:
            if (known.v == -1) return fromBits(known.kind, -1);
            break;
        case Logic::Imp:
            if (x.kind == Bits::Null ? y.v == -1 : x.v == 0) return fromBits(known.kind, -1);
            break;
        case Logic::Xor:
        case Logic::Eqv:
            break;
        }
        return ScriptValue::null();
    }
    std::int32_t r = 0;
    switch (op) {
    case Logic::And:
        r = x.v & y.v;
        break;
    case Logic::Or:
        r = x.v | y.v;
        break;
    case Logic::Xor:
        r = x.v ^ y.v;
        break;
    case Logic::Eqv:
        r = ~(x.v ^ y.v);
        break;
    case Logic::Imp:
        r = ~x.v | y.v;
        break;
    }
    return fromBits(std::max(x.kind, y.kind), r);
}

} // namespace script
