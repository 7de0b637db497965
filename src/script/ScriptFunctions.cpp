// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace script {

namespace {

constexpr FnInfo kFunctions[] = {
    {"abs", Fn::Abs, 1, 1},
    {"sgn", Fn::Sgn, 1, 1},
    {"int", Fn::Int, 1, 1},
    {"fix", Fn::Fix, 1, 1},
    {"sqr", Fn::Sqr, 1, 1},
    {"exp", Fn::Exp, 1, 1},
    {"log", Fn::Log, 1, 1},
    {"round", Fn::Round, 1, 2},
    {"cint", Fn::CInt, 1, 1},
    {"clng", Fn::CLng, 1, 1},
    {"csng", Fn::CSng, 1, 1},
    {"cdbl", Fn::CDbl, 1, 1},
    {"cstr", Fn::CStr, 1, 1},
    {"cbool", Fn::CBool, 1, 1},
    {"len", Fn::Len, 1, 1},
    {"left", Fn::Left, 2, 2},
    {"right", Fn::Right, 2, 2},
    {"mid", Fn::Mid, 2, 3},
    {"instr", Fn::InStr, 2, 4},
    {"lcase", Fn::LCase, 1, 1},
    {"ucase", Fn::UCase, 1, 1},
    {"trim", Fn::Trim, 1, 1},
    {"ltrim", Fn::LTrim, 1, 1},
    {"rtrim", Fn::RTrim, 1, 1},
    {"isnumeric", Fn::IsNumeric, 1, 1},
    {"isempty", Fn::IsEmpty, 1, 1},
};

// Round, Int and Fix keep whole subtypes as they are.
ScriptValue roundedKeepingType(const ScriptValue& v, double (*round)(double))
{
    switch (v.type()) {
    case Type::Null:
        return v;
    case Type::Empty:
        return ScriptValue::fromInteger(0);
    case Type::Boolean:
        return ScriptValue::fromInteger(static_cast<std::int16_t>(v.intValue()));
    case Type::Byte:
    case Type::Integer:
    case Type::Long:
        return v;
    case Type::Single:
        return ScriptValue::fromSingle(static_cast<float>(round(v.realValue())));
    case Type::Double:
        return ScriptValue::fromDouble(round(v.realValue()));
    case Type::Currency:
        return ScriptValue::fromCurrency(static_cast<std::int64_t>(round(numberOf(v))) * 10000);
    case Type::Date:
        return dateResult(round(v.realValue()));
    case Type::String:
        return ScriptValue::fromDouble(round(textNumber(v.stringValue())));
    case Type::Array:
        fail(TypeMismatch);
    }
    return v;
}

double floorOf(double x)
{
    return std::floor(x);
}
double truncOf(double x)
{
    return std::trunc(x);
}
double nearestEven(double x)
{
    return text::RoundHalfEven(x);
}

} // namespace

const FnInfo* findFunction(QStringView name)
{
    // Every table, sorted once by name for a binary search.
    static const std::vector<const FnInfo*> sorted = [] {
        std::vector<const FnInfo*> all;
        for (const std::span<const FnInfo> table :
             {std::span<const FnInfo>(kFunctions), charFunctions(), numberFunctions(), textFunctions(),
              arrayFunctions(), dateFunctions(), formatFunctions()})
            for (const FnInfo& f : table)
                all.push_back(&f);
        std::sort(all.begin(), all.end(), [](const FnInfo* a, const FnInfo* b) { return a->name < b->name; });
        return all;
    }();
    char buf[24];
    if (!lowerAscii(name.utf16(), name.size(), buf, sizeof buf)) return nullptr;
    const std::string_view key(buf, static_cast<size_t>(name.size()));
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                                     [](const FnInfo* f, std::string_view k) { return f->name < k; });
    return it != sorted.end() && (*it)->name == key ? *it : nullptr;
}

ScriptValue callFunction(const FnInfo& f, const Args& args)
{
    return f.impl ? f.impl(args) : callFunction(f.fn, args.a, args.count);
}

Q_NEVER_INLINE ScriptValue callFunction(Fn fn, const ScriptValue* a, int count)
{
    const ScriptValue& x = a[0];
    switch (fn) {
    case Fn::Abs:
        switch (x.type()) {
        case Type::Null:
            return x;
        case Type::Empty:
            return ScriptValue::fromInteger(0);
        case Type::Boolean:
        case Type::Integer:
            return narrowed(std::abs(std::int64_t(x.intValue())), true);
        case Type::Long:
            return narrowed(std::abs(std::int64_t(x.intValue())), false);
        case Type::Single:
            return ScriptValue::fromSingle(std::fabs(static_cast<float>(x.realValue())));
        case Type::Double:
            return ScriptValue::fromDouble(std::fabs(x.realValue()));
        case Type::Byte:
            return x;
        case Type::Currency:
            return x.currencyValue() < 0 ? negate(x) : x;
        case Type::Date:
            return dateResult(std::fabs(x.realValue()));
        case Type::Array:
            fail(TypeMismatch);
        case Type::String:
            return ScriptValue::fromDouble(std::fabs(textNumber(x.stringValue())));
        }
        return x;
    case Fn::Sgn: {
        const double d = numberOf(x);
        return ScriptValue::fromInteger(d > 0 ? 1 : d < 0 ? -1 : 0);
    }
    case Fn::Int:
        return roundedKeepingType(x, floorOf);
    case Fn::Fix:
        return roundedKeepingType(x, truncOf);
    case Fn::Sqr: {
        const double d = numberOf(x);
        if (d < 0) fail(InvalidCall);
        return ScriptValue::fromDouble(std::sqrt(d));
    }
    case Fn::Exp:
        return checkedDouble(std::exp(numberOf(x)));
    case Fn::Log: {
        const double d = numberOf(x);
        if (d <= 0) fail(InvalidCall);
        return ScriptValue::fromDouble(std::log(d));
    }
    case Fn::Round: {
        std::int32_t places = 0;
        if (count > 1) {
            places = argLong(a[1]);
            if (places < 0) fail(InvalidCall);
        }
        const auto round = [places](double d) {
            return places == 0 ? text::RoundHalfEven(d) : text::RoundHalfEven(d, places);
        };
        switch (x.type()) {
        case Type::Single:
            return ScriptValue::fromSingle(static_cast<float>(round(x.realValue())));
        case Type::Double:
        case Type::String:
            return ScriptValue::fromDouble(round(numberOf(x)));
        case Type::Boolean:
            return x; // a whole value stays as it is
        case Type::Currency: {
            const double r = std::nearbyint(round(numberOf(x)) * 10000);
            return ScriptValue::fromCurrency(static_cast<std::int64_t>(r));
        }
        default:
            return roundedKeepingType(x, nearestEven);
        }
    }
    case Fn::CInt: {
        const double r = text::RoundHalfEven(numberOf(x));
        if (!(r >= -32768 && r <= 32767)) fail(Overflow);
        return ScriptValue::fromInteger(static_cast<std::int16_t>(r));
    }
    case Fn::CLng:
        return ScriptValue::fromLong(roundedLong(numberOf(x)));
    case Fn::CSng:
        return ScriptValue::fromSingle(singleOf(x));
    case Fn::CDbl:
        return ScriptValue::fromDouble(numberOf(x));
    case Fn::CStr:
        if (x.isNull()) fail(InvalidNull);
        return ScriptValue::fromString(x.toString());
    case Fn::CBool:
        if (x.type() == Type::String) {
            const QString t = spacesTrimmed(x.stringValue(), true, true);
            if (t.compare(u"true", Qt::CaseInsensitive) == 0) return ScriptValue::fromBool(true);
            if (t.compare(u"false", Qt::CaseInsensitive) == 0) return ScriptValue::fromBool(false);
        }
        return ScriptValue::fromBool(numberOf(x) != 0);
    case Fn::Len:
        if (x.isNull()) return x;
        return ScriptValue::fromLong(static_cast<std::int32_t>(
            x.type() == Type::String ? x.stringValue().size() : x.toString().size()));
    case Fn::Left:
    case Fn::Right: {
        const std::int32_t n = argLong(a[1]);
        if (n < 0) fail(InvalidCall);
        if (x.isNull()) return x;
        const QString s = x.toString();
        return ScriptValue::fromString(fn == Fn::Left ? s.left(n) : s.right(n));
    }
    case Fn::Mid: {
        const std::int32_t start = argLong(a[1]);
        if (start < 1) fail(InvalidCall);
        std::int32_t length = -1;
        if (count > 2) {
            length = argLong(a[2]);
            if (length < 0) fail(InvalidCall);
        }
        if (x.isNull()) return x;
        const QString s = x.toString();
        if (start > s.size()) return ScriptValue::fromString(QString());
        return ScriptValue::fromString(s.mid(start - 1, length));
    }
    case Fn::InStr: {
        const int first = count >= 3 ? 1 : 0;
        std::int32_t start = 1;
        if (first) {
            start = argLong(a[0]);
            if (start < 1) fail(InvalidCall);
        }
        Qt::CaseSensitivity cs = Qt::CaseSensitive;
        if (count == 4) {
            const std::int32_t mode = argLong(a[3]);
            if (mode != 0 && mode != 1) fail(InvalidCall);
            cs = mode == 1 ? Qt::CaseInsensitive : Qt::CaseSensitive;
        }
        const ScriptValue& s1 = a[first];
        const ScriptValue& s2 = a[first + 1];
        if (s1.isNull() || s2.isNull()) return ScriptValue::null();
        const QString t1 = s1.toString();
        const QString t2 = s2.toString();
        if (start > t1.size()) return ScriptValue::fromLong(0);
        const TextMatcher needle(t2, cs);
        const SearchText hay(t1, cs);
        return ScriptValue::fromLong(static_cast<std::int32_t>(needle.indexIn(hay.view(), start - 1) + 1));
    }
    case Fn::LCase:
    case Fn::UCase:
        if (x.isNull()) return x;
        return ScriptValue::fromString(fn == Fn::LCase ? x.toString().toLower() : x.toString().toUpper());
    case Fn::Trim:
    case Fn::LTrim:
    case Fn::RTrim:
        if (x.isNull()) return x;
        return ScriptValue::fromString(spacesTrimmed(x.toString(), fn != Fn::RTrim, fn != Fn::LTrim));
    case Fn::IsNumeric: {
        if (x.type() == Type::String) {
            double unused = 0;
            return ScriptValue::fromBool(readNumberText(x.stringValue(), unused) == 0);
        }
        return ScriptValue::fromBool(x.isNumber() || x.isEmpty());
    }
    case Fn::IsEmpty:
        return ScriptValue::fromBool(x.isEmpty());
    }
    return {};
}
} // namespace script
