#include "platform/ScriptInternal.h"

#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace script {

namespace {

// Rank of an arithmetic operand: the result takes the widest rank.
enum class Rank : std::uint8_t { Integer, Long, Single, Double };

struct Operand {
    Rank rank;
    std::int64_t i;
    double d;
};

Operand operandOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Empty: return {Rank::Integer, 0, 0};
    case Type::Boolean:
    case Type::Integer: return {Rank::Integer, v.intValue(), static_cast<double>(v.intValue())};
    case Type::Long: return {Rank::Long, v.intValue(), static_cast<double>(v.intValue())};
    case Type::Single: return {Rank::Single, 0, v.realValue()};
    case Type::Double: return {Rank::Double, 0, v.realValue()};
    case Type::String: return {Rank::Double, 0, textNumber(v.stringValue())};
    case Type::Null: break;
    }
    fail(InvalidNull);
}

// Operand of \ and Mod: rounded to a whole number; says whether it was Integer-sized.
std::int64_t wholeOperand(const ScriptValue& v, bool& integer)
{
    switch (v.type()) {
    case Type::Empty: return 0;
    case Type::Boolean:
    case Type::Integer: return v.intValue();
    case Type::Long: integer = false; return v.intValue();
    default: integer = false; return roundedLong(numberOf(v));
    }
}

// Operand of the bitwise (logical) operators. Kinds are ordered by width.
struct Bits {
    enum Kind : std::uint8_t { Null, Bool, Integer, Long } kind;
    std::int32_t v;
};

Bits bitsOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Null: return {Bits::Null, 0};
    case Type::Empty: return {Bits::Integer, 0};
    case Type::Boolean: return {Bits::Bool, v.intValue()};
    case Type::Integer: return {Bits::Integer, v.intValue()};
    case Type::Long: return {Bits::Long, v.intValue()};
    default: return {Bits::Long, roundedLong(numberOf(v))};
    }
}

ScriptValue fromBits(Bits::Kind kind, std::int32_t v)
{
    switch (kind) {
    case Bits::Bool: return ScriptValue::fromBool(v != 0);
    case Bits::Integer: return ScriptValue::fromInteger(static_cast<std::int16_t>(v));
    case Bits::Long: return ScriptValue::fromLong(v);
    case Bits::Null: break;
    }
    return ScriptValue::null();
}

} // namespace

ScriptValue arithmetic(Arith op, const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull())
        return ScriptValue::null();
    if (op == Arith::Add) {
        const bool sa = a.type() == Type::String, sb = b.type() == Type::String;
        // Text joins text; Empty counts as "" beside a text.
        if ((sa && sb) || (sa && b.isEmpty()) || (sb && a.isEmpty()))
            return ScriptValue::fromString(a.stringValue() + b.stringValue());
    }
    const Operand x = operandOf(a);
    const Operand y = operandOf(b);
    Rank rank = std::max(x.rank, y.rank);
    if (rank == Rank::Single && (x.rank == Rank::Long || y.rank == Rank::Long))
        rank = Rank::Double;
    if (rank <= Rank::Long) {
        std::int64_t r = 0;
        switch (op) {
        case Arith::Add: r = x.i + y.i; break;
        case Arith::Sub: r = x.i - y.i; break;
        case Arith::Mul: r = x.i * y.i; break;
        }
        return narrowed(r, rank == Rank::Integer);
    }
    double r = 0;
    switch (op) {
    case Arith::Add: r = x.d + y.d; break;
    case Arith::Sub: r = x.d - y.d; break;
    case Arith::Mul: r = x.d * y.d; break;
    }
    if (rank == Rank::Single && text::FitsSingle(r))
        return ScriptValue::fromSingle(static_cast<float>(r));
    return checkedDouble(r);
}

ScriptValue divide(const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull())
        return ScriptValue::null();
    const double x = numberOf(a);
    const double y = numberOf(b);
    if (y == 0)
        fail(x == 0 ? Overflow : DivisionByZero);
    return checkedDouble(x / y);
}

ScriptValue integerDivide(const ScriptValue& a, const ScriptValue& b, bool modulo)
{
    if (a.isNull() || b.isNull())
        return ScriptValue::null();
    bool integer = true;
    const std::int64_t x = wholeOperand(a, integer);
    const std::int64_t y = wholeOperand(b, integer);
    if (y == 0)
        fail(DivisionByZero);
    const std::int64_t r = modulo ? x % y : x / y;
    if (r > std::numeric_limits<std::int32_t>::max())
        fail(Overflow);
    return narrowed(r, integer);
}

ScriptValue power(const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull())
        return ScriptValue::null();
    const double x = numberOf(a);
    const double y = numberOf(b);
    if ((x < 0 && y != std::floor(y)) || (x == 0 && y < 0))
        fail(InvalidCall);
    return checkedDouble(std::pow(x, y));
}

ScriptValue negate(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Null: return v;
    case Type::Empty: return ScriptValue::fromInteger(0);
    case Type::Boolean:
    case Type::Integer: return narrowed(-std::int64_t(v.intValue()), true);
    case Type::Long: return narrowed(-std::int64_t(v.intValue()), false);
    case Type::Single: return ScriptValue::fromSingle(-static_cast<float>(v.realValue()));
    case Type::Double: return ScriptValue::fromDouble(-v.realValue());
    case Type::String: return ScriptValue::fromDouble(-textNumber(v.stringValue()));
    }
    return v;
}

ScriptValue concatenate(const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() && b.isNull())
        return ScriptValue::null();
    return ScriptValue::fromString(a.toString() + b.toString());
}
ScriptValue compare(Compare op, const ScriptValue& a, const ScriptValue& b)
{
    if (a.isNull() || b.isNull())
        return ScriptValue::null();
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
    case Compare::Eq: r = c == 0; break;
    case Compare::Ne: r = c != 0; break;
    case Compare::Lt: r = c < 0; break;
    case Compare::Gt: r = c > 0; break;
    case Compare::Le: r = c <= 0; break;
    case Compare::Ge: r = c >= 0; break;
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
        if (x.kind == Bits::Null && y.kind == Bits::Null)
            return ScriptValue::null();
        const Bits& known = x.kind == Bits::Null ? y : x;
        switch (op) {
        case Logic::And:
            if (known.v == 0)
                return fromBits(known.kind, 0);
            break;
        case Logic::Or:
            if (known.v == -1)
                return fromBits(known.kind, -1);
            break;
        case Logic::Imp:
            if (x.kind == Bits::Null ? y.v == -1 : x.v == 0)
                return fromBits(known.kind, -1);
            break;
        case Logic::Xor:
        case Logic::Eqv: break;
        }
        return ScriptValue::null();
    }
    std::int32_t r = 0;
    switch (op) {
    case Logic::And: r = x.v & y.v; break;
    case Logic::Or: r = x.v | y.v; break;
    case Logic::Xor: r = x.v ^ y.v; break;
    case Logic::Eqv: r = ~(x.v ^ y.v); break;
    case Logic::Imp: r = ~x.v | y.v; break;
    }
    return fromBits(std::max(x.kind, y.kind), r);
}

} // namespace script
