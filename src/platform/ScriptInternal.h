#pragma once

// Shared by the parts of the script engine: error numbers, number text,
// coercions, the operators and the built-in functions. Not for callers.

#include "platform/ScriptEngine.h"

#include <QStringView>

#include <cstdint>
#include <string_view>

namespace script {

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

QString reasonText(int number);
[[noreturn]] void fail(int number);
[[noreturn]] void fail(int number, QStringView detail);

// Errors found by reading alone; they win over errors found by evaluating,
// as a script that does not compile never runs.
inline bool isReadingError(int number)
{
    return number >= 1000 || number == OutOfStack;
}

inline bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

inline bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// An ASCII name in lower case into buf; false when too long or not ASCII.
bool lowerAscii(const char16_t* p, qsizetype len, char* buf, qsizetype cap);

// ---- Number text ----------------------------------------------------------

struct Decimal {
    double value = 0;
    bool whole = true;   // digits only: no point, no exponent
    bool tooBig = false; // beyond the Double range
};

// Reads digits, an optional "." fraction and an optional exponent (E or D, the
// exponent counts only when digits follow) from p[i]; false when there are no digits.
bool scanDecimal(const char16_t* p, qsizetype n, qsizetype& i, Decimal& out);

struct Radix {
    std::int32_t value = 0;
    bool isLong = false;
    bool tooBig = false;
};

// Reads the digits of a &H or &O literal from p[i] and a trailing "&"; false
// when no digit follows. A value that fits 16 bits is a signed Integer, else a
// signed Long; the trailing "&" keeps the 32-bit value.
bool scanRadix(const char16_t* p, qsizetype n, qsizetype& i, int base, Radix& out);

// A text read as a number, as the conversions read it: surrounding blanks, an
// optional sign, a decimal number or &H/&O. Returns 0, or the error number
// (13 not a number, 6 too big).
int readNumberText(QStringView s, double& out);
double textNumber(QStringView s);

// ---- Value helpers ----------------------------------------------------------

// The number of a value as the arithmetic sees it (CDbl).
double numberOf(const ScriptValue& v);
ScriptValue checkedDouble(double d);
// Rounded half to even into the Long range, as counts and bitwise operands are.
std::int32_t roundedLong(double d);
std::int32_t argLong(const ScriptValue& v);
ScriptValue narrowed(std::int64_t v, bool allowInteger);
float singleOf(const ScriptValue& v);
QString spacesTrimmed(const QString& s, bool left, bool right);

// ---- Operators ----------------------------------------------------------------

enum class Arith : std::uint8_t { Add, Sub, Mul };
ScriptValue arithmetic(Arith op, const ScriptValue& a, const ScriptValue& b);
ScriptValue divide(const ScriptValue& a, const ScriptValue& b);
ScriptValue integerDivide(const ScriptValue& a, const ScriptValue& b, bool modulo);
ScriptValue power(const ScriptValue& a, const ScriptValue& b);
ScriptValue negate(const ScriptValue& v);
ScriptValue concatenate(const ScriptValue& a, const ScriptValue& b);

enum class Compare : std::uint8_t { Eq, Ne, Lt, Gt, Le, Ge };
ScriptValue compare(Compare op, const ScriptValue& a, const ScriptValue& b);

ScriptValue logicalNot(const ScriptValue& v);
enum class Logic : std::uint8_t { And, Or, Xor, Eqv, Imp };
ScriptValue logical(Logic op, const ScriptValue& a, const ScriptValue& b);

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

constexpr int kMaxArgs = 4;

const FnInfo* findFunction(QStringView name);
ScriptValue callFunction(Fn fn, const ScriptValue* a, int count);

} // namespace script
