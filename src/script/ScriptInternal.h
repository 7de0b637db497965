// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

// Shared by the parts of the script engine: error numbers, number text,
// coercions, the operators and the built-in functions. Not for callers.

#include "script/ScriptEngine.h"

#include <QStringBuilder>
#include <QStringView>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace script {

using Type = ScriptValue::Type;

// VBScript error numbers.
enum Err : int {
    InvalidCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    TypeMismatch = 13,
    OutOfStringSpace = 14,
    OutOfStack = 28,
    Interrupted = 18, // the evaluation ran past its work budget
    PermissionDenied = 70,
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
// A detail joined from pieces ("функция " + name + …).
template <class A, class B> [[noreturn]] void fail(int number, const QStringBuilder<A, B>& detail)
{
    fail(number, QStringView(QString(detail)));
}

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
[[nodiscard]] bool lowerAscii(const char16_t* p, qsizetype len, char* buf, qsizetype cap);

// ---- Number text ----------------------------------------------------------

struct Decimal
{
    double value = 0;
    bool whole = true;   // digits only: no point, no exponent
    bool tooBig = false; // beyond the Double range
};

// Reads digits, an optional "." fraction and an optional exponent (E or D, the
// exponent counts only when digits follow) from p[i]; false when there are no digits.
[[nodiscard]] bool scanDecimal(const char16_t* p, qsizetype n, qsizetype& i, Decimal& out);

struct Radix
{
    std::int32_t value = 0;
    bool isLong = false;
    bool tooBig = false;
};

// Reads the digits of a &H or &O literal from p[i] and a trailing "&"; false
// when no digit follows. A value that fits 16 bits is a signed Integer, else a
// signed Long; the trailing "&" keeps the 32-bit value.
[[nodiscard]] bool scanRadix(const char16_t* p, qsizetype n, qsizetype& i, int base, Radix& out);

// A text read as a number, as the conversions read it: surrounding blanks, an
// optional sign, a decimal number or &H/&O. Returns 0, or the error number
// (13 not a number, 6 too big).
[[nodiscard]] int readNumberText(QStringView s, double& out);
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

// ---- Sizes ----------------------------------------------------------------------

// Fails before a text of n code units or an array of n items is built.
inline void checkText(qint64 n)
{
    if (n > ScriptEngine::MaxText) fail(OutOfStringSpace);
}
inline void checkItems(qint64 n)
{
    if (n > ScriptEngine::MaxItems) fail(OutOfMemory);
}

// What the current evaluation on this thread has built so far: the sum is
// bounded too, or an Array of many large texts would still take gigabytes.
struct Spent
{
    qint64 text = 0;
    qint64 items = 0;
    qint64 work = 0;
};
Spent& spent();
constexpr qint64 kTextBudget = 16 * ScriptEngine::MaxText;
constexpr qint64 kItemBudget = 4 * ScriptEngine::MaxItems;

// A text of n code units or an array of n items is about to be built.
inline void spendText(qint64 n)
{
    checkText(n);
    if ((spent().text += n) > kTextBudget) fail(OutOfStringSpace);
}
inline void spendItems(qint64 n)
{
    checkItems(n);
    if ((spent().items += n) > kItemBudget) fail(OutOfMemory);
}

// The work of one evaluation: a step for each operator and call, one for each
// character a search reads. Bounded so that no formula, however built, runs
// for more than a fraction of a second.
constexpr qint64 kWorkBudget = qint64(1) << 24;
inline void spendWork(qint64 n)
{
    if ((spent().work += n) > kWorkBudget) fail(Interrupted);
}

// ---- Text search ------------------------------------------------------------------

// A text as a search compares it: itself, or folded to one case for a
// text-mode comparison (code point by code point, so positions stay).
class SearchText
{
public:
    SearchText(QStringView s, Qt::CaseSensitivity cs);
    QStringView view() const { return m_view; }

private:
    QString m_folded;
    QStringView m_view;
};

// Finds one needle in texts in time linear in what it reads, however the
// needle is built (Knuth-Morris-Pratt over the folded texts), and charges the
// characters read to the work budget. Positions are those of QString::indexOf
// and lastIndexOf; haystacks are passed as SearchText views with the same mode.
class TextMatcher
{
public:
    enum class Direction : std::uint8_t { Forward, Backward };
    TextMatcher(QStringView needle, Qt::CaseSensitivity cs, Direction dir = Direction::Forward);
    qsizetype size() const { return m_needle.view().size(); }
    // The first match starting at or after from, or -1.
    qsizetype indexIn(QStringView hay, qsizetype from = 0) const;
    // The last match starting at or before from, or -1 (Backward only).
    qsizetype lastIndexIn(QStringView hay, qsizetype from) const;

private:
    SearchText m_needle;
    std::vector<std::int32_t> m_border; // longest proper border of each prefix (suffix when Backward)
};

// ---- Dates ----------------------------------------------------------------------

// Day numbers of 01.01.100 and 31.12.9999, the range of a Date.
constexpr double kMinDate = -657434;
constexpr double kMaxDate = 2958465.99999;

struct DateParts
{
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

DateParts partsOf(double serial);
// Day number of a date whose month and day may run over (month 14, day 0);
// false beyond the Date range.
[[nodiscard]] bool serialOf(int year, int month, int day, double& out);
double timeSerial(int hour, int minute, int second);
// Text read as a date, day first: dd.mm.yyyy or d/m/yy with an optional time,
// yyyy-mm-dd, or a time alone. False when it is not a date.
[[nodiscard]] bool readDateText(QStringView s, double& out);
// CDate: a Date as it is, a number as a day number, a text read as a date.
double dateOf(const ScriptValue& v);
QString dateText(double serial);
// A Date value, error 6 beyond the Date range.
ScriptValue dateResult(double serial);

// ---- Built-in functions -------------------------------------------------------

// What a function sees besides its arguments.
struct Context
{
    double now = 0;
    std::span<const QString> names;
    bool* clockRead = nullptr; // set when a function reads `now`
    double readNow() const
    {
        if (clockRead) *clockRead = true;
        return now;
    }
};

struct Args
{
    const ScriptValue* a;
    int count;
    const Context& ctx;
    const ScriptValue& operator[](int i) const { return a[i]; }
    bool has(int i) const { return i < count && !a[i].isEmpty(); }
};

using Impl = ScriptValue (*)(const Args&);

enum class Fn : std::uint8_t {
    Abs,
    Sgn,
    Int,
    Fix,
    Sqr,
    Exp,
    Log,
    Round,
    CInt,
    CLng,
    CSng,
    CDbl,
    CStr,
    CBool,
    Len,
    Left,
    Right,
    Mid,
    InStr,
    LCase,
    UCase,
    Trim,
    LTrim,
    RTrim,
    IsNumeric,
    IsEmpty,
};

struct FnInfo
{
    std::string_view name; // lower case
    Fn fn;
    int minArgs;
    int maxArgs;
    Impl impl = nullptr; // when set, called instead of the switch on fn
};

// Arguments kept on the stack; a call with more (Array) spills to the heap.
constexpr int kMaxArgs = 6;
constexpr int kManyArgs = 1 << 20;

const FnInfo* findFunction(QStringView name);
ScriptValue callFunction(Fn fn, const ScriptValue* a, int count);
ScriptValue callFunction(const FnInfo& f, const Args& args);

// ---- The library's argument helpers ------------------------------------------

inline ScriptValue nullValue()
{
    return ScriptValue::null();
}

// A text argument: Null refused (94).
inline QString textArg(const ScriptValue& v)
{
    if (v.isNull()) fail(InvalidNull);
    return v.toString();
}

// A count or position: Null refused, rounded half to even.
inline std::int32_t longArg(const ScriptValue& v)
{
    if (v.isNull()) fail(InvalidNull);
    return argLong(v);
}

inline Qt::CaseSensitivity compareArg(const Args& a, int i)
{
    if (!a.has(i)) return Qt::CaseSensitive;
    const std::int32_t mode = longArg(a[i]);
    if (mode < 0 || mode > 2) fail(InvalidCall);
    return mode == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

inline bool boolArg(const Args& a, int i, bool fallback)
{
    if (!a.has(i)) return fallback;
    if (a[i].isNull()) fail(InvalidNull);
    return numberOf(a[i]) != 0;
}

inline const std::vector<ScriptValue>& arrayArg(const ScriptValue& v)
{
    if (v.isNull()) fail(InvalidNull);
    if (!v.isArray()) fail(TypeMismatch);
    return v.arrayValue();
}

inline ScriptValue text(QString s)
{
    return ScriptValue::fromString(std::move(s));
}

inline ScriptValue dateValue(double serial)
{
    return dateResult(serial);
}

// The character of the data files' code page, which stands for the "ANSI" code.
QString ansiChar(std::int32_t code);

// The library's functions, a table per file: ScriptChars.cpp, ScriptNumbers.cpp,
// ScriptTexts.cpp, ScriptArrays.cpp, ScriptDateFunctions.cpp, ScriptFormats.cpp.
std::span<const FnInfo> charFunctions();
std::span<const FnInfo> numberFunctions();
std::span<const FnInfo> textFunctions();
std::span<const FnInfo> arrayFunctions();
std::span<const FnInfo> dateFunctions();
std::span<const FnInfo> formatFunctions();
// The named constants and the names refused (ScriptConstants.cpp).
[[nodiscard]] bool findConstant(QStringView name, ScriptValue& out);
bool isRefused(QStringView name);
std::vector<std::string_view> constantNames();
// Every function and constant name in its usual spelling, for suggestions.
std::span<const std::string_view> knownNames();
// The closest of knownNames() and names to name, or "" when none is close.
QString closestName(QStringView name, std::span<const QString> names);

} // namespace script
