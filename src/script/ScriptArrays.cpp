// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <vector>

// Arrays and the type tests: Array, UBound, LBound, Is*, VarType, TypeName.

namespace script {

namespace {

using Value = ScriptValue;

Value fnArray(const Args& a)
{
    spendItems(a.count);
    return Value::fromArray(std::vector<Value>(a.a, a.a + a.count));
}

Value bound(const Args& a, bool upper)
{
    const std::vector<Value>& items = arrayArg(a[0]);
    if (a.count > 1 && longArg(a[1]) != 1) fail(SubscriptOutOfRange);
    return Value::fromLong(upper ? static_cast<std::int32_t>(items.size()) - 1 : 0);
}

Value fnUBound(const Args& a)
{
    return bound(a, true);
}

Value fnLBound(const Args& a)
{
    return bound(a, false);
}

Value fnIsArray(const Args& a)
{
    return Value::fromBool(a[0].isArray());
}

Value fnIsDate(const Args& a)
{
    double unused = 0;
    if (a[0].type() == Type::Date) return Value::fromBool(true);
    return Value::fromBool(a[0].type() == Type::String && readDateText(a[0].stringValue(), unused));
}

Value fnIsNull(const Args& a)
{
    return Value::fromBool(a[0].isNull());
}

Value fnIsObject(const Args&)
{
    return Value::fromBool(false); // there are no objects here
}

Value fnVarType(const Args& a)
{
    switch (a[0].type()) {
    case Type::Empty:
        return Value::fromInteger(0);
    case Type::Null:
        return Value::fromInteger(1);
    case Type::Integer:
        return Value::fromInteger(2);
    case Type::Long:
        return Value::fromInteger(3);
    case Type::Single:
        return Value::fromInteger(4);
    case Type::Double:
        return Value::fromInteger(5);
    case Type::Currency:
        return Value::fromInteger(6);
    case Type::Date:
        return Value::fromInteger(7);
    case Type::String:
        return Value::fromInteger(8);
    case Type::Boolean:
        return Value::fromInteger(11);
    case Type::Byte:
        return Value::fromInteger(17);
    case Type::Array:
        return Value::fromInteger(8192 + 12);
    }
    return Value::fromInteger(0);
}

Value fnTypeName(const Args& a)
{
    return text(a[0].typeName());
}

// clang-format off
constexpr FnInfo kArrays[] = {
    {"array", Fn::Abs, 0, kManyArgs, fnArray},
    {"ubound", Fn::Abs, 1, 2, fnUBound},
    {"lbound", Fn::Abs, 1, 2, fnLBound},
    {"isarray", Fn::Abs, 1, 1, fnIsArray},
    {"isdate", Fn::Abs, 1, 1, fnIsDate},
    {"isnull", Fn::Abs, 1, 1, fnIsNull},
    {"isobject", Fn::Abs, 1, 1, fnIsObject},
    {"vartype", Fn::Abs, 1, 1, fnVarType},
    {"typename", Fn::Abs, 1, 1, fnTypeName},
};
// clang-format on

} // namespace

std::span<const FnInfo> arrayFunctions()
{
    return kArrays;
}

} // namespace script
