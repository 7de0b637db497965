#include "platform/ScriptEngine.h"

#include "platform/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

// One pass over the text: the parser evaluates as it reads, taking tokens
// straight from the text. Binary operators go through a stack of waiting left
// operands; only parentheses and calls recurse. Nothing is allocated for
// numbers or operators; only string values own memory.

namespace {

using Type = ScriptValue::Type;

// VBScript error numbers.
enum Err : int {
    InvalidCall = 5,
    Overflow = 6,
    DivisionByZero = 11,
    TypeMismatch = 13,
    OutOfStack = 28,
    ObjectNotSet = 91,
    InvalidNull = 94,
    ObjectRequired = 424,
    WrongArgumentCount = 450,
    Undefined = 500,
    SyntaxError = 1002,
    ExpectedParen = 1006,
    ExpectedEnd = 1025,
    InvalidNumber = 1031,
    InvalidCharacter = 1032,
    UnterminatedString = 1033,
};

QString reasonText(int number)
{
    switch (number) {
    case InvalidCall: return QStringLiteral("Недопустимый вызов процедуры или аргумент");
    case Overflow: return QStringLiteral("Переполнение");
    case DivisionByZero: return QStringLiteral("Деление на ноль");
    case TypeMismatch: return QStringLiteral("Несоответствие типов");
    case OutOfStack: return QStringLiteral("Слишком глубокая вложенность выражения");
    case ObjectNotSet: return QStringLiteral("Объектная переменная не задана");
    case InvalidNull: return QStringLiteral("Недопустимое использование Null");
    case ObjectRequired: return QStringLiteral("Требуется объект");
    case WrongArgumentCount: return QStringLiteral("Неверное число аргументов");
    case Undefined: return QStringLiteral("Переменная не определена");
    case ExpectedParen: return QStringLiteral("Ожидается \")\"");
    case ExpectedEnd: return QStringLiteral("Ожидается конец выражения");
    case InvalidNumber: return QStringLiteral("Недопустимое число");
    case InvalidCharacter: return QStringLiteral("Недопустимый знак");
    case UnterminatedString: return QStringLiteral("Незавершенная строковая константа");
    default: return QStringLiteral("Синтаксическая ошибка");
    }
}

[[noreturn]] void fail(int number)
{
    throw ScriptError(number, reasonText(number));
}

[[noreturn]] void fail(int number, QStringView detail)
{
    QString reason = reasonText(number);
    reason += u": ";
    reason += detail;
    throw ScriptError(number, reason);
}

// Errors found by reading alone; they win over errors found by evaluating,
// as a script that does not compile never runs.
bool isReadingError(int number)
{
    return number >= 1000 || number == OutOfStack;
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// ---- Number text ----------------------------------------------------------

struct Decimal {
    double value = 0;
    bool whole = true;   // digits only: no point, no exponent
    bool tooBig = false; // beyond the Double range
};

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads digits, an optional "." fraction and an optional exponent (E or D, the
// exponent counts only when digits follow) from p[i]; false when there are no digits.
bool scanDecimal(const char16_t* p, qsizetype n, qsizetype& i, Decimal& out)
{
    const qsizetype begin = i;
    std::uint64_t mant = 0;
    int sig = 0;        // significant digits held in mant (at most 19)
    int dropped = 0;    // whole-part digits beyond those, each a factor of ten
    int fracDigits = 0; // fraction digits held in mant
    bool exact = true;  // no nonzero digit was dropped
    bool any = false;
    bool point = false;

    auto take = [&](int d, bool fraction) {
        any = true;
        if (sig < 19) {
            mant = mant * 10 + static_cast<unsigned>(d);
            if (mant != 0)
                ++sig;
            if (fraction)
                ++fracDigits;
        } else {
            if (!fraction)
                ++dropped;
            if (d != 0)
                exact = false;
        }
    };
    while (i < n && isDigit(p[i]))
        take(p[i++] - u'0', false);
    if (i < n && p[i] == u'.') {
        point = true;
        ++i;
        while (i < n && isDigit(p[i]))
            take(p[i++] - u'0', true);
    }
    if (!any) {
        i = begin;
        return false;
    }
    long exponent = 0;
    bool hasExponent = false;
    if (i < n && ((p[i] | 0x20) == u'e' || (p[i] | 0x20) == u'd')) {
        qsizetype j = i + 1;
        bool negative = false;
        if (j < n && (p[j] == u'+' || p[j] == u'-'))
            negative = p[j++] == u'-';
        if (j < n && isDigit(p[j])) {
            hasExponent = true;
            while (j < n && isDigit(p[j])) {
                if (exponent < 1000000)
                    exponent = exponent * 10 + (p[j] - u'0');
                ++j;
            }
            if (negative)
                exponent = -exponent;
            i = j;
        }
    }
    out.whole = !point && !hasExponent;
    out.tooBig = false;
    if (mant == 0) {
        out.value = 0;
        return true;
    }
    const long e10 = exponent + dropped - fracDigits;
    // Exact digits and a small power of ten: one correctly rounded operation.
    if (exact && mant <= (std::uint64_t(1) << 53) && e10 >= -22 && e10 <= 22) {
        const double m = static_cast<double>(mant);
        out.value = e10 >= 0 ? m * kPow10[e10] : m / kPow10[-e10];
        return true;
    }
    // Otherwise the library reads the ASCII copy.
    std::string ascii;
    ascii.reserve(static_cast<size_t>(i - begin));
    for (qsizetype k = begin; k < i; ++k) {
        const char16_t c = p[k];
        ascii.push_back((c | 0x20) == u'd' ? 'e' : static_cast<char>(c));
    }
    double v = 0;
    const auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Decide by the position of the leading digit whether it is too small or too big.
        if (sig + e10 - 1 < 0)
            v = 0;
        else
            out.tooBig = true;
    }
    out.value = v;
    return true;
}

struct Radix {
    std::int32_t value = 0;
    bool isLong = false;
    bool tooBig = false;
};

// Reads the digits of a &H or &O literal from p[i] and a trailing "&"; false
// when no digit follows. A value that fits 16 bits is a signed Integer, else a
// signed Long; the trailing "&" keeps the 32-bit value.
bool scanRadix(const char16_t* p, qsizetype n, qsizetype& i, int base, Radix& out)
{
    std::uint64_t v = 0;
    bool any = false;
    out.tooBig = false;
    for (; i < n; ++i) {
        const char16_t c = p[i];
        int d = -1;
        if (isDigit(c))
            d = c - u'0';
        else if ((c | 0x20) >= u'a' && (c | 0x20) <= u'f')
            d = (c | 0x20) - u'a' + 10;
        if (d < 0 || d >= base)
            break;
        any = true;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) {
            out.tooBig = true;
            v = 0;
        }
    }
    if (!any)
        return false;
    bool suffix = false;
    if (i < n && p[i] == u'&') {
        suffix = true;
        ++i;
    }
    if (!suffix && v <= 0xFFFF) {
        out.isLong = false;
        out.value = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
    } else {
        out.isLong = true;
        out.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    }
    return true;
}

// A text read as a number, as the conversions read it: surrounding blanks, an
// optional sign, a decimal number or &H/&O. Returns 0, or the error number
// (13 not a number, 6 too big).
int readNumberText(QStringView s, double& out)
{
    const char16_t* p = s.utf16();
    const qsizetype n = s.size();
    qsizetype i = 0;
    qsizetype end = n;
    while (i < end && isBlank(p[i]))
        ++i;
    while (end > i && isBlank(p[end - 1]))
        --end;
    if (i == end)
        return TypeMismatch;
    if (p[i] == u'&' && i + 1 < end) {
        const char16_t k = p[i + 1] | 0x20;
        const int base = k == u'h' ? 16 : k == u'o' ? 8 : 0;
        qsizetype j = i + 2;
        Radix r;
        if (base == 0 || !scanRadix(p, end, j, base, r) || j != end)
            return TypeMismatch;
        if (r.tooBig)
            return Overflow;
        out = r.value;
        return 0;
    }
    bool negative = false;
    if (p[i] == u'+' || p[i] == u'-') {
        negative = p[i] == u'-';
        ++i;
    }
    Decimal d;
    if (!scanDecimal(p, end, i, d) || i != end)
        return TypeMismatch;
    if (d.tooBig)
        return Overflow;
    out = negative ? -d.value : d.value;
    return 0;
}

double textNumber(QStringView s)
{
    double v = 0;
    if (const int err = readNumberText(s, v))
        fail(err);
    return v;
}

// ---- Value helpers ----------------------------------------------------------

// The number of a value as the arithmetic sees it (CDbl).
double numberOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Empty: return 0;
    case Type::Null: fail(InvalidNull);
    case Type::Boolean:
    case Type::Integer:
    case Type::Long: return v.intValue();
    case Type::Single:
    case Type::Double: return v.realValue();
    case Type::String: return textNumber(v.stringValue());
    }
    return 0;
}

ScriptValue checkedDouble(double d)
{
    if (!std::isfinite(d))
        fail(Overflow);
    return ScriptValue::fromDouble(d);
}

// Rounded half to even into the Long range, as counts and bitwise operands are.
std::int32_t roundedLong(double d)
{
    const double r = text::RoundHalfEven(d);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        fail(Overflow);
    return static_cast<std::int32_t>(r);
}

std::int32_t argLong(const ScriptValue& v)
{
    if (v.type() == Type::Integer || v.type() == Type::Long || v.type() == Type::Boolean)
        return v.intValue();
    return roundedLong(numberOf(v));
}

ScriptValue narrowed(std::int64_t v, bool allowInteger)
{
    if (allowInteger && v >= -32768 && v <= 32767)
        return ScriptValue::fromInteger(static_cast<std::int16_t>(v));
    if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
        return ScriptValue::fromLong(static_cast<std::int32_t>(v));
    return ScriptValue::fromDouble(static_cast<double>(v));
}

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

enum class Arith : std::uint8_t { Add, Sub, Mul };

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

enum class Compare : std::uint8_t { Eq, Ne, Lt, Gt, Le, Ge };

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

ScriptValue logicalNot(const ScriptValue& v)
{
    const Bits x = bitsOf(v);
    return fromBits(x.kind, ~x.v);
}

enum class Logic : std::uint8_t { And, Or, Xor, Eqv, Imp };

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

float singleOf(const ScriptValue& v)
{
    const double d = numberOf(v);
    if (!text::FitsSingle(d))
        fail(Overflow);
    return static_cast<float>(d);
}

QString spacesTrimmed(const QString& s, bool left, bool right)
{
    qsizetype b = 0, e = s.size();
    if (left)
        while (b < e && s[b] == u' ')
            ++b;
    if (right)
        while (e > b && s[e - 1] == u' ')
            --e;
    return b == 0 && e == s.size() ? s : s.mid(b, e - b);
}

// ---- Built-in functions -------------------------------------------------------

enum class Fn : std::uint8_t {
    Abs, Sgn, Int, Fix, Sqr, Exp, Log, Round, CInt, CLng, CSng, CDbl, CStr, CBool,
    Len, Left, Right, Mid, InStr, LCase, UCase, Trim, LTrim, RTrim, IsNumeric, IsEmpty,
};

struct FnInfo {
    std::string_view name; // lower case
    Fn fn;
    int minArgs;
    int maxArgs;
};

constexpr FnInfo kFunctions[] = {
    {"abs", Fn::Abs, 1, 1},         {"sgn", Fn::Sgn, 1, 1},       {"int", Fn::Int, 1, 1},
    {"fix", Fn::Fix, 1, 1},         {"sqr", Fn::Sqr, 1, 1},       {"exp", Fn::Exp, 1, 1},
    {"log", Fn::Log, 1, 1},         {"round", Fn::Round, 1, 2},   {"cint", Fn::CInt, 1, 1},
    {"clng", Fn::CLng, 1, 1},       {"csng", Fn::CSng, 1, 1},     {"cdbl", Fn::CDbl, 1, 1},
    {"cstr", Fn::CStr, 1, 1},       {"cbool", Fn::CBool, 1, 1},   {"len", Fn::Len, 1, 1},
    {"left", Fn::Left, 2, 2},       {"right", Fn::Right, 2, 2},   {"mid", Fn::Mid, 2, 3},
    {"instr", Fn::InStr, 2, 4},     {"lcase", Fn::LCase, 1, 1},   {"ucase", Fn::UCase, 1, 1},
    {"trim", Fn::Trim, 1, 1},       {"ltrim", Fn::LTrim, 1, 1},   {"rtrim", Fn::RTrim, 1, 1},
    {"isnumeric", Fn::IsNumeric, 1, 1}, {"isempty", Fn::IsEmpty, 1, 1},
};

constexpr int kMaxArgs = 4;

// An ASCII name in lower case into buf; false when too long or not ASCII.
bool lowerAscii(const char16_t* p, qsizetype len, char* buf, qsizetype cap)
{
    if (len > cap)
        return false;
    for (qsizetype k = 0; k < len; ++k) {
        const char16_t c = p[k];
        if (c >= 0x80)
            return false;
        buf[k] = static_cast<char>(c >= u'A' && c <= u'Z' ? c | 0x20 : c);
    }
    return true;
}

const FnInfo* findFunction(QStringView name)
{
    char buf[16];
    if (!lowerAscii(name.utf16(), name.size(), buf, sizeof buf))
        return nullptr;
    const std::string_view key(buf, static_cast<size_t>(name.size()));
    for (const FnInfo& f : kFunctions)
        if (f.name == key)
            return &f;
    return nullptr;
}

// Round, Int and Fix keep whole subtypes as they are.
ScriptValue roundedKeepingType(const ScriptValue& v, double (*round)(double))
{
    switch (v.type()) {
    case Type::Null: return v;
    case Type::Empty: return ScriptValue::fromInteger(0);
    case Type::Boolean: return ScriptValue::fromInteger(static_cast<std::int16_t>(v.intValue()));
    case Type::Integer:
    case Type::Long: return v;
    case Type::Single: return ScriptValue::fromSingle(static_cast<float>(round(v.realValue())));
    case Type::Double: return ScriptValue::fromDouble(round(v.realValue()));
    case Type::String: return ScriptValue::fromDouble(round(textNumber(v.stringValue())));
    }
    return v;
}

double floorOf(double x) { return std::floor(x); }
double truncOf(double x) { return std::trunc(x); }
double nearestEven(double x) { return text::RoundHalfEven(x); }

Q_NEVER_INLINE ScriptValue callFunction(Fn fn, const ScriptValue* a, int count)
{
    const ScriptValue& x = a[0];
    switch (fn) {
    case Fn::Abs:
        switch (x.type()) {
        case Type::Null: return x;
        case Type::Empty: return ScriptValue::fromInteger(0);
        case Type::Boolean:
        case Type::Integer: return narrowed(std::abs(std::int64_t(x.intValue())), true);
        case Type::Long: return narrowed(std::abs(std::int64_t(x.intValue())), false);
        case Type::Single: return ScriptValue::fromSingle(std::fabs(static_cast<float>(x.realValue())));
        case Type::Double: return ScriptValue::fromDouble(std::fabs(x.realValue()));
        case Type::String: return ScriptValue::fromDouble(std::fabs(textNumber(x.stringValue())));
        }
        return x;
    case Fn::Sgn: {
        const double d = numberOf(x);
        return ScriptValue::fromInteger(d > 0 ? 1 : d < 0 ? -1 : 0);
    }
    case Fn::Int: return roundedKeepingType(x, floorOf);
    case Fn::Fix: return roundedKeepingType(x, truncOf);
    case Fn::Sqr: {
        const double d = numberOf(x);
        if (d < 0)
            fail(InvalidCall);
        return ScriptValue::fromDouble(std::sqrt(d));
    }
    case Fn::Exp: return checkedDouble(std::exp(numberOf(x)));
    case Fn::Log: {
        const double d = numberOf(x);
        if (d <= 0)
            fail(InvalidCall);
        return ScriptValue::fromDouble(std::log(d));
    }
    case Fn::Round: {
        std::int32_t places = 0;
        if (count > 1) {
            places = argLong(a[1]);
            if (places < 0)
                fail(InvalidCall);
        }
        const auto round = [places](double d) {
            return places == 0 ? text::RoundHalfEven(d) : text::RoundHalfEven(d, places);
        };
        switch (x.type()) {
        case Type::Single: return ScriptValue::fromSingle(static_cast<float>(round(x.realValue())));
        case Type::Double:
        case Type::String: return ScriptValue::fromDouble(round(numberOf(x)));
        case Type::Boolean: return x; // a whole value stays as it is
        default: return roundedKeepingType(x, nearestEven);
        }
    }
    case Fn::CInt: {
        const double r = text::RoundHalfEven(numberOf(x));
        if (!(r >= -32768 && r <= 32767))
            fail(Overflow);
        return ScriptValue::fromInteger(static_cast<std::int16_t>(r));
    }
    case Fn::CLng: return ScriptValue::fromLong(roundedLong(numberOf(x)));
    case Fn::CSng: return ScriptValue::fromSingle(singleOf(x));
    case Fn::CDbl: return ScriptValue::fromDouble(numberOf(x));
    case Fn::CStr:
        if (x.isNull())
            fail(InvalidNull);
        return ScriptValue::fromString(x.toString());
    case Fn::CBool:
        if (x.type() == Type::String) {
            const QString t = spacesTrimmed(x.stringValue(), true, true);
            if (t.compare(u"true", Qt::CaseInsensitive) == 0)
                return ScriptValue::fromBool(true);
            if (t.compare(u"false", Qt::CaseInsensitive) == 0)
                return ScriptValue::fromBool(false);
        }
        return ScriptValue::fromBool(numberOf(x) != 0);
    case Fn::Len:
        if (x.isNull())
            return x;
        return ScriptValue::fromLong(static_cast<std::int32_t>(
            x.type() == Type::String ? x.stringValue().size() : x.toString().size()));
    case Fn::Left:
    case Fn::Right: {
        const std::int32_t n = argLong(a[1]);
        if (n < 0)
            fail(InvalidCall);
        if (x.isNull())
            return x;
        const QString s = x.toString();
        return ScriptValue::fromString(fn == Fn::Left ? s.left(n) : s.right(n));
    }
    case Fn::Mid: {
        const std::int32_t start = argLong(a[1]);
        if (start < 1)
            fail(InvalidCall);
        std::int32_t length = -1;
        if (count > 2) {
            length = argLong(a[2]);
            if (length < 0)
                fail(InvalidCall);
        }
        if (x.isNull())
            return x;
        const QString s = x.toString();
        if (start > s.size())
            return ScriptValue::fromString(QString());
        return ScriptValue::fromString(s.mid(start - 1, length));
    }
    case Fn::InStr: {
        const int first = count >= 3 ? 1 : 0;
        std::int32_t start = 1;
        if (first) {
            start = argLong(a[0]);
            if (start < 1)
                fail(InvalidCall);
        }
        Qt::CaseSensitivity cs = Qt::CaseSensitive;
        if (count == 4) {
            const std::int32_t mode = argLong(a[3]);
            if (mode != 0 && mode != 1)
                fail(InvalidCall);
            cs = mode == 1 ? Qt::CaseInsensitive : Qt::CaseSensitive;
        }
        const ScriptValue& s1 = a[first];
        const ScriptValue& s2 = a[first + 1];
        if (s1.isNull() || s2.isNull())
            return ScriptValue::null();
        const QString t1 = s1.toString();
        const QString t2 = s2.toString();
        if (start > t1.size())
            return ScriptValue::fromLong(0);
        return ScriptValue::fromLong(static_cast<std::int32_t>(t1.indexOf(t2, start - 1, cs) + 1));
    }
    case Fn::LCase:
    case Fn::UCase:
        if (x.isNull())
            return x;
        return ScriptValue::fromString(fn == Fn::LCase ? x.toString().toLower() : x.toString().toUpper());
    case Fn::Trim:
    case Fn::LTrim:
    case Fn::RTrim:
        if (x.isNull())
            return x;
        return ScriptValue::fromString(spacesTrimmed(x.toString(), fn != Fn::RTrim, fn != Fn::LTrim));
    case Fn::IsNumeric: {
        if (x.type() == Type::String) {
            double unused = 0;
            return ScriptValue::fromBool(readNumberText(x.stringValue(), unused) == 0);
        }
        return ScriptValue::fromBool(!x.isNull());
    }
    case Fn::IsEmpty: return ScriptValue::fromBool(x.isEmpty());
    }
    return {};
}

// ---- Reading and evaluating ---------------------------------------------------------

enum class Tok : std::uint8_t {
    End, Number, String, Name, LParen, RParen, Comma,
    Imp, Eqv, Xor, Or, And, Not,
    Eq, Ne, Lt, Gt, Le, Ge, Is,
    Amp, Plus, Minus, Mod, IntDiv, Mul, Div, Pow,
    True, False, Empty, Null, Nothing,
};

// Binding levels, loosest first; 0 is not a binary operator.
enum Level : int {
    LImp = 1, LEqv, LXor, LOr, LAnd, LNot, LCompare, LConcat, LAdd, LMod, LIntDiv, LMul, LPow,
};

int binaryLevel(Tok t)
{
    switch (t) {
    case Tok::Imp: return LImp;
    case Tok::Eqv: return LEqv;
    case Tok::Xor: return LXor;
    case Tok::Or: return LOr;
    case Tok::And: return LAnd;
    case Tok::Eq:
    case Tok::Ne:
    case Tok::Lt:
    case Tok::Gt:
    case Tok::Le:
    case Tok::Ge:
    case Tok::Is: return LCompare;
    case Tok::Amp: return LConcat;
    case Tok::Plus:
    case Tok::Minus: return LAdd;
    case Tok::Mod: return LMod;
    case Tok::IntDiv: return LIntDiv;
    case Tok::Mul:
    case Tok::Div: return LMul;
    case Tok::Pow: return LPow;
    default: return 0;
    }
}

Tok keyword(const char16_t* p, qsizetype len)
{
    char b[8];
    if (len < 2 || !lowerAscii(p, len, b, sizeof b))
        return Tok::Name;
    const std::string_view w(b, static_cast<size_t>(len));
    struct Entry {
        std::string_view word;
        Tok tok;
    };
    static constexpr Entry kWords[] = {
        {"mod", Tok::Mod},   {"not", Tok::Not},     {"and", Tok::And},         {"or", Tok::Or},
        {"xor", Tok::Xor},   {"eqv", Tok::Eqv},     {"imp", Tok::Imp},         {"is", Tok::Is},
        {"true", Tok::True}, {"false", Tok::False}, {"empty", Tok::Empty},     {"null", Tok::Null},
        {"nothing", Tok::Nothing},
    };
    for (const Entry& e : kWords)
        if (e.word == w)
            return e.tok;
    return Tok::Name;
}

bool isNameStart(char16_t c)
{
    return ((c | 0x20) >= u'a' && (c | 0x20) <= u'z') || (c >= 0x80 && QChar(c).isLetter());
}

bool isNamePart(char16_t c)
{
    return isNameStart(c) || isDigit(c) || c == u'_' || (c >= 0x80 && QChar(c).isLetterOrNumber());
}

// Reads one expression and, when evaluate is set, computes it; without it the
// parser only checks the syntax.
class Parser
{
public:
    Parser(QStringView text, bool evaluate)
        : m_p(text.utf16()), m_n(text.size()), m_eval(evaluate)
    {
    }
    ~Parser()
    {
        while (m_pendingSize > 0)
            popPending();
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    ScriptValue run()
    {
        next();
        ScriptValue v = expression();
        if (m_tok != Tok::End)
            fail(ExpectedEnd);
        return v;
    }

private:
    // Counts one level of nesting for as long as it lives.
    class Nest
    {
    public:
        explicit Nest(int& depth) : m_depth(depth)
        {
            if (++m_depth > ScriptEngine::MaxDepth)
                fail(OutOfStack);
        }
        ~Nest() { --m_depth; }
        Nest(const Nest&) = delete;
        Nest& operator=(const Nest&) = delete;

    private:
        int& m_depth;
    };

    Q_NEVER_INLINE void next();
    void lexNumber();
    void lexString();
    // The recursive parts stay out of line to keep the frames of deep nesting small.
    ScriptValue expression();
    Q_NEVER_INLINE ScriptValue operand();
    Q_NEVER_INLINE ScriptValue primary();
    Q_NEVER_INLINE ScriptValue parenthesized();
    Q_NEVER_INLINE ScriptValue literal() const;
    ScriptValue stringLiteral() const;
    Q_NEVER_INLINE ScriptValue call(QStringView name);
    Q_NEVER_INLINE ScriptValue apply(Tok op, const ScriptValue& a, const ScriptValue& b) const;

    const char16_t* m_p;
    qsizetype m_n;
    qsizetype m_pos = 0;
    bool m_eval;
    int m_depth = 0;

    // The current token.
    Tok m_tok = Tok::End;
    qsizetype m_start = 0; // its text: m_p[m_start, m_pos)
    bool m_escapes = false; // a string literal holds doubled quotes
    ScriptValue m_number;

    // Left operands waiting for their right side. Each expression() uses the
    // entries above those of the expression around it, and there at most one
    // per binding level, as the levels strictly rise. Kept here rather than in
    // the frames so that deep nesting costs little stack.
    struct Pending {
        ScriptValue value;
        Tok op;
        std::uint8_t level;
        std::int32_t nots; // for Not: how many in a row
    };
    union Slot {
        Slot() {}
        ~Slot() {}
        Pending entry;
    };
    static constexpr int kPendingCapacity = 1024;
    Slot m_pending[kPendingCapacity];
    int m_pendingSize = 0;

    Pending& topPending() { return m_pending[m_pendingSize - 1].entry; }
    void pushPending(ScriptValue&& v, Tok op, int level)
    {
        if (m_pendingSize == kPendingCapacity)
            fail(OutOfStack);
        new (&m_pending[m_pendingSize].entry) Pending{std::move(v), op, static_cast<std::uint8_t>(level), 0};
        ++m_pendingSize;
    }
    void popPending() { m_pending[--m_pendingSize].entry.~Pending(); }
};

void Parser::next()
{
    while (m_pos < m_n && isBlank(m_p[m_pos]))
        ++m_pos;
    m_start = m_pos;
    if (m_pos >= m_n) {
        m_tok = Tok::End;
        return;
    }
    const char16_t c = m_p[m_pos];
    const char16_t c1 = m_pos + 1 < m_n ? m_p[m_pos + 1] : u'\0';
    if (isDigit(c) || (c == u'.' && isDigit(c1))) {
        lexNumber();
        return;
    }
    if (c == u'"') {
        lexString();
        return;
    }
    if (isNameStart(c)) {
        ++m_pos;
        while (m_pos < m_n && isNamePart(m_p[m_pos]))
            ++m_pos;
        m_tok = keyword(m_p + m_start, m_pos - m_start);
        return;
    }
    ++m_pos;
    switch (c) {
    case u'(': m_tok = Tok::LParen; return;
    case u')': m_tok = Tok::RParen; return;
    case u',': m_tok = Tok::Comma; return;
    case u'+': m_tok = Tok::Plus; return;
    case u'-': m_tok = Tok::Minus; return;
    case u'*': m_tok = Tok::Mul; return;
    case u'/': m_tok = Tok::Div; return;
    case u'\\': m_tok = Tok::IntDiv; return;
    case u'^': m_tok = Tok::Pow; return;
    case u'=':
        // "=>" and "=<" are old spellings of ">=" and "<=".
        if (c1 == u'>' || c1 == u'<') {
            ++m_pos;
            m_tok = c1 == u'>' ? Tok::Ge : Tok::Le;
        } else {
            m_tok = Tok::Eq;
        }
        return;
    case u'<':
        if (c1 == u'>' || c1 == u'=') {
            ++m_pos;
            m_tok = c1 == u'>' ? Tok::Ne : Tok::Le;
        } else {
            m_tok = Tok::Lt;
        }
        return;
    case u'>':
        if (c1 == u'=' || c1 == u'<') {
            ++m_pos;
            m_tok = c1 == u'=' ? Tok::Ge : Tok::Ne;
        } else {
            m_tok = Tok::Gt;
        }
        return;
    case u'&': {
        // &H and &O start a number only when a digit of that base follows;
        // otherwise "&" joins texts.
        const int base = (c1 | 0x20) == u'h' ? 16 : (c1 | 0x20) == u'o' ? 8 : 0;
        if (base != 0) {
            qsizetype i = m_pos + 1;
            Radix r;
            if (scanRadix(m_p, m_n, i, base, r)) {
                if (r.tooBig)
                    fail(InvalidNumber);
                m_pos = i;
                m_tok = Tok::Number;
                m_number = r.isLong ? ScriptValue::fromLong(r.value)
                                    : ScriptValue::fromInteger(static_cast<std::int16_t>(r.value));
                return;
            }
        }
        m_tok = Tok::Amp;
        return;
    }
    case u'.': fail(SyntaxError);
    default: fail(InvalidCharacter);
    }
}

void Parser::lexNumber()
{
    Decimal d;
    scanDecimal(m_p, m_n, m_pos, d);
    if (d.tooBig)
        fail(InvalidNumber);
    m_tok = Tok::Number;
    if (d.whole && d.value <= 32767)
        m_number = ScriptValue::fromInteger(static_cast<std::int16_t>(d.value));
    else if (d.whole && d.value <= 2147483647.0)
        m_number = ScriptValue::fromLong(static_cast<std::int32_t>(d.value));
    else
        m_number = ScriptValue::fromDouble(d.value);
}

void Parser::lexString()
{
    m_escapes = false;
    for (++m_pos; m_pos < m_n; ++m_pos) {
        if (m_p[m_pos] != u'"')
            continue;
        if (m_pos + 1 < m_n && m_p[m_pos + 1] == u'"') {
            m_escapes = true;
            ++m_pos;
            continue;
        }
        ++m_pos;
        m_tok = Tok::String;
        return;
    }
    fail(UnterminatedString);
}

ScriptValue Parser::stringLiteral() const
{
    const QStringView body(m_p + m_start + 1, m_pos - m_start - 2);
    if (!m_escapes)
        return ScriptValue::fromString(body.toString());
    QString s;
    s.reserve(body.size());
    for (qsizetype k = 0; k < body.size(); ++k) {
        s += body[k];
        if (body[k] == u'"')
            ++k; // the second of a doubled quote
    }
    return ScriptValue::fromString(std::move(s));
}

ScriptValue Parser::expression()
{
    // Operator precedence with an explicit stack of waiting left operands:
    // nesting costs one frame per parenthesis, not one per operator.
    const int base = m_pendingSize;
    for (;;) {
        // Not takes everything down to the comparisons (Not 1 = 2 is Not (1 = 2)),
        // so it may stand only where such an expression may.
        while (m_tok == Tok::Not) {
            if (m_pendingSize > base && topPending().level > LNot)
                fail(SyntaxError);
            if (m_pendingSize == base || topPending().op != Tok::Not)
                pushPending(ScriptValue(), Tok::Not, LNot);
            ++topPending().nots;
            next();
        }
        ScriptValue v = operand();
        const Tok op = m_tok;
        const int level = binaryLevel(op);
        // Left-associative: an operator closes every waiting one of its level or
        // tighter; the end of the expression closes them all.
        while (m_pendingSize > base && topPending().level >= level) {
            Pending& p = topPending();
            if (m_eval) {
                if (p.op == Tok::Not)
                    for (std::int32_t k = 0; k < p.nots; ++k)
                        v = logicalNot(v);
                else
                    v = apply(p.op, p.value, v);
            }
            popPending();
        }
        if (level == 0)
            return v;
        pushPending(std::move(v), op, level);
        next();
    }
}

ScriptValue Parser::operand()
{
    // Signs bind tighter than ^ (-2^2 is 4) and stack (--1 is 1); "+" changes nothing.
    qsizetype minus = 0;
    while (m_tok == Tok::Plus || m_tok == Tok::Minus) {
        if (m_tok == Tok::Minus)
            ++minus;
        next();
    }
    ScriptValue v = primary();
    if (m_eval)
        for (; minus > 0; --minus)
            v = negate(v);
    return v;
}

ScriptValue Parser::primary()
{
    if (m_tok == Tok::LParen)
        return parenthesized();
    if (m_tok == Tok::Name) {
        const QStringView name(m_p + m_start, m_pos - m_start);
        next();
        return call(name);
    }
    ScriptValue v = literal();
    next();
    return v;
}

ScriptValue Parser::parenthesized()
{
    Nest nest(m_depth);
    next();
    ScriptValue v = expression();
    if (m_tok != Tok::RParen)
        fail(ExpectedParen);
    next();
    return v;
}

ScriptValue Parser::literal() const
{
    switch (m_tok) {
    case Tok::Number: return m_number;
    case Tok::String: return m_eval ? stringLiteral() : ScriptValue();
    case Tok::True: return ScriptValue::fromBool(true);
    case Tok::False: return ScriptValue::fromBool(false);
    case Tok::Empty: return {};
    case Tok::Null: return ScriptValue::null();
    case Tok::Nothing:
        if (m_eval)
            fail(ObjectNotSet); // no objects here
        return {};
    default: fail(SyntaxError);
    }
}

ScriptValue Parser::call(QStringView name)
{
    const FnInfo* f = findFunction(name);
    if (m_tok != Tok::LParen) {
        if (m_eval)
            fail(f ? WrongArgumentCount : Undefined, name);
        return {};
    }
    ScriptValue args[kMaxArgs];
    int count = 0;
    {
        Nest nest(m_depth);
        next();
        if (m_tok != Tok::RParen) {
            for (;;) {
                ScriptValue v = expression();
                if (count < kMaxArgs)
                    args[count] = std::move(v);
                ++count;
                if (m_tok != Tok::Comma)
                    break;
                next();
            }
        }
        if (m_tok != Tok::RParen)
            fail(ExpectedParen);
        next();
    }
    if (!m_eval)
        return {};
    if (!f)
        fail(Undefined, name);
    if (count < f->minArgs || count > f->maxArgs)
        fail(WrongArgumentCount, name);
    return callFunction(f->fn, args, count);
}

ScriptValue Parser::apply(Tok op, const ScriptValue& a, const ScriptValue& b) const
{
    switch (op) {
    case Tok::Plus: return arithmetic(Arith::Add, a, b);
    case Tok::Minus: return arithmetic(Arith::Sub, a, b);
    case Tok::Mul: return arithmetic(Arith::Mul, a, b);
    case Tok::Div: return divide(a, b);
    case Tok::IntDiv: return integerDivide(a, b, false);
    case Tok::Mod: return integerDivide(a, b, true);
    case Tok::Pow: return power(a, b);
    case Tok::Amp: return concatenate(a, b);
    case Tok::Eq: return compare(Compare::Eq, a, b);
    case Tok::Ne: return compare(Compare::Ne, a, b);
    case Tok::Lt: return compare(Compare::Lt, a, b);
    case Tok::Gt: return compare(Compare::Gt, a, b);
    case Tok::Le: return compare(Compare::Le, a, b);
    case Tok::Ge: return compare(Compare::Ge, a, b);
    case Tok::Is: fail(ObjectRequired); // no objects here
    case Tok::And: return logical(Logic::And, a, b);
    case Tok::Or: return logical(Logic::Or, a, b);
    case Tok::Xor: return logical(Logic::Xor, a, b);
    case Tok::Eqv: return logical(Logic::Eqv, a, b);
    case Tok::Imp: return logical(Logic::Imp, a, b);
    default: fail(SyntaxError);
    }
}

} // namespace

// ---- ScriptError, ScriptValue -------------------------------------------------------

ScriptError::ScriptError(int number, const QString& reason)
    : VestranaError(Kind::Script, reason), m_number(number)
{
}

ScriptValue ScriptValue::null()
{
    ScriptValue v;
    v.m_type = Type::Null;
    return v;
}

ScriptValue ScriptValue::fromBool(bool b)
{
    ScriptValue v;
    v.m_type = Type::Boolean;
    v.m_i = b ? -1 : 0;
    return v;
}

ScriptValue ScriptValue::fromInteger(std::int16_t i)
{
    ScriptValue v;
    v.m_type = Type::Integer;
    v.m_i = i;
    return v;
}

ScriptValue ScriptValue::fromLong(std::int32_t i)
{
    ScriptValue v;
    v.m_type = Type::Long;
    v.m_i = i;
    return v;
}

ScriptValue ScriptValue::fromSingle(float f)
{
    ScriptValue v;
    v.m_type = Type::Single;
    v.m_d = f;
    return v;
}

ScriptValue ScriptValue::fromDouble(double d)
{
    ScriptValue v;
    v.m_type = Type::Double;
    v.m_d = d;
    return v;
}

ScriptValue ScriptValue::fromString(QString s)
{
    ScriptValue v;
    v.m_type = Type::String;
    v.m_s = std::move(s);
    return v;
}

QString ScriptValue::typeName() const
{
    switch (m_type) {
    case Type::Empty: return QStringLiteral("Empty");
    case Type::Null: return QStringLiteral("Null");
    case Type::Boolean: return QStringLiteral("Boolean");
    case Type::Integer: return QStringLiteral("Integer");
    case Type::Long: return QStringLiteral("Long");
    case Type::Single: return QStringLiteral("Single");
    case Type::Double: return QStringLiteral("Double");
    case Type::String: return QStringLiteral("String");
    }
    return {};
}

double ScriptValue::toDouble() const
{
    return numberOf(*this);
}

QString ScriptValue::toString() const
{
    switch (m_type) {
    case Type::Empty:
    case Type::Null: return {};
    case Type::Boolean: return m_i ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Integer:
    case Type::Long: return QString::number(m_i);
    case Type::Single: return text::GeneralNumber(m_d, 7);
    case Type::Double: return text::GeneralNumber(m_d, 15);
    case Type::String: return m_s;
    }
    return {};
}

// ---- ScriptEngine ------------------------------------------------------------------

QString ScriptEngine::TooLongText()
{
    return QStringLiteral("Слишком длинное выражение");
}

ScriptValue ScriptEngine::Eval(QStringView expression) const
{
    static_assert(TooLongError == SyntaxError);
    if (expression.size() > MaxLength)
        throw ScriptError(TooLongError, TooLongText());
    try {
        return Parser(expression, true).run();
    } catch (const ScriptError& e) {
        // A later syntax error wins over an evaluation error met on the way.
        if (!isReadingError(e.number()))
            Parser(expression, false).run();
        throw;
    }
}

float ScriptEngine::EvalSingle(QStringView expression) const
{
    return singleOf(Eval(expression));
}
