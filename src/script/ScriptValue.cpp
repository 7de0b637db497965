// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/Text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace script {

QString reasonText(int number)
{
    switch (number) {
    case InvalidCall:
        return QStringLiteral("Недопустимый вызов процедуры или аргумент");
    case Overflow:
        return QStringLiteral("Переполнение");
    case OutOfMemory:
        return QStringLiteral("Недостаточно памяти: слишком большой массив");
    case SubscriptOutOfRange:
        return QStringLiteral("Индекс вне диапазона");
    case OutOfStringSpace:
        return QStringLiteral("Недостаточно места для строки: слишком длинный текст");
    case Interrupted:
        return QStringLiteral("Слишком долгое вычисление");
    case PermissionDenied:
        return QStringLiteral("Отказано в доступе");
    case DivisionByZero:
        return QStringLiteral("Деление на ноль");
    case TypeMismatch:
        return QStringLiteral("Несоответствие типов");
    case OutOfStack:
        return QStringLiteral("Слишком глубокая вложенность выражения");
    case ObjectNotSet:
        return QStringLiteral("Объектная переменная не задана");
    case InvalidNull:
        return QStringLiteral("Недопустимое использование Null");
    case ObjectRequired:
        return QStringLiteral("Требуется объект");
    case WrongArgumentCount:
        return QStringLiteral("Неверное число аргументов");
    case Undefined:
        return QStringLiteral("Переменная не определена");
    case ExpectedParen:
        return QStringLiteral("Ожидается \")\"");
    case ExpectedEnd:
        return QStringLiteral("Ожидается конец выражения");
    case InvalidNumber:
        return QStringLiteral("Недопустимое число");
    case InvalidCharacter:
        return QStringLiteral("Недопустимый знак");
    case UnterminatedString:
        return QStringLiteral("Незавершенная строковая константа");
    default:
        return QStringLiteral("Синтаксическая ошибка");
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

bool lowerAscii(const char16_t* p, qsizetype len, char* buf, qsizetype cap)
{
    if (len > cap) return false;
    for (qsizetype k = 0; k < len; ++k) {
        const char16_t c = p[k];
        if (c >= 0x80) return false;
        buf[k] = static_cast<char>(c >= u'A' && c <= u'Z' ? c | 0x20 : c);
    }
    return true;
}

// ---- Number text ----------------------------------------------------------

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

} // namespace

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
            if (mant != 0) ++sig;
            if (fraction) ++fracDigits;
        } else {
            if (!fraction) ++dropped;
            if (d != 0) exact = false;
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
        if (j < n && (p[j] == u'+' || p[j] == u'-')) negative = p[j++] == u'-';
        if (j < n && isDigit(p[j])) {
            hasExponent = true;
            while (j < n && isDigit(p[j])) {
                if (exponent < 1000000) exponent = exponent * 10 + (p[j] - u'0');
                ++j;
            }
            if (negative) exponent = -exponent;
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
        if (d < 0 || d >= base) break;
        any = true;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) {
            out.tooBig = true;
            v = 0;
        }
    }
    if (!any) return false;
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
    if (i == end) return TypeMismatch;
    if (p[i] == u'&' && i + 1 < end) {
        const char16_t k = p[i + 1] | 0x20;
        const int base = k == u'h' ? 16 : k == u'o' ? 8 : 0;
        qsizetype j = i + 2;
        Radix r;
        if (base == 0 || !scanRadix(p, end, j, base, r) || j != end) return TypeMismatch;
        if (r.tooBig) return Overflow;
        out = r.value;
        return 0;
    }
    bool negative = false;
    if (p[i] == u'+' || p[i] == u'-') {
        negative = p[i] == u'-';
        ++i;
    }
    Decimal d;
    if (!scanDecimal(p, end, i, d) || i != end) return TypeMismatch;
    if (d.tooBig) return Overflow;
    out = negative ? -d.value : d.value;
    return 0;
}

double textNumber(QStringView s)
{
    double v = 0;
    if (const int err = readNumberText(s, v)) fail(err);
    return v;
}
// ---- Value helpers ----------------------------------------------------------

double numberOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Empty:
        return 0;
    case Type::Null:
        fail(InvalidNull);
    case Type::Boolean:
    case Type::Byte:
    case Type::Integer:
    case Type::Long:
        return v.intValue();
    case Type::Single:
    case Type::Double:
    case Type::Date:
        return v.realValue();
    case Type::Currency:
        return static_cast<double>(v.currencyValue()) / 10000;
    case Type::String:
        return textNumber(v.stringValue());
    case Type::Array:
        fail(TypeMismatch);
    }
    return 0;
}

ScriptValue checkedDouble(double d)
{
    if (!std::isfinite(d)) fail(Overflow);
    return ScriptValue::fromDouble(d);
}

// Rounded half to even into the Long range, as counts and bitwise operands are.
std::int32_t roundedLong(double d)
{
    const double r = text::RoundHalfEven(d);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) fail(Overflow);
    return static_cast<std::int32_t>(r);
}

std::int32_t argLong(const ScriptValue& v)
{
    if (v.type() >= Type::Boolean && v.type() <= Type::Long) return v.intValue();
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

float singleOf(const ScriptValue& v)
{
    const double d = numberOf(v);
    if (!text::FitsSingle(d)) fail(Overflow);
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

Spent& spent()
{
    thread_local Spent s;
    return s;
}

} // namespace script

using namespace script;

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

ScriptValue ScriptValue::fromByte(std::uint8_t b)
{
    ScriptValue v;
    v.m_type = Type::Byte;
    v.m_i = b;
    return v;
}

ScriptValue ScriptValue::fromCurrency(std::int64_t scaled)
{
    ScriptValue v;
    v.m_type = Type::Currency;
    v.m_i = scaled;
    return v;
}

ScriptValue ScriptValue::fromDate(double serial)
{
    ScriptValue v;
    v.m_type = Type::Date;
    v.m_d = serial;
    return v;
}

ScriptValue ScriptValue::fromArray(std::vector<ScriptValue> items)
{
    ScriptValue v;
    v.m_type = Type::Array;
    v.m_a = std::make_shared<const std::vector<ScriptValue>>(std::move(items));
    return v;
}

const std::vector<ScriptValue>& ScriptValue::arrayValue() const
{
    static const std::vector<ScriptValue> none;
    return m_a ? *m_a : none;
}

QString ScriptValue::typeName() const
{
    switch (m_type) {
    case Type::Byte:
        return QStringLiteral("Byte");
    case Type::Currency:
        return QStringLiteral("Currency");
    case Type::Date:
        return QStringLiteral("Date");
    case Type::Array:
        return QStringLiteral("Variant()");
    case Type::Empty:
        return QStringLiteral("Empty");
    case Type::Null:
        return QStringLiteral("Null");
    case Type::Boolean:
        return QStringLiteral("Boolean");
    case Type::Integer:
        return QStringLiteral("Integer");
    case Type::Long:
        return QStringLiteral("Long");
    case Type::Single:
        return QStringLiteral("Single");
    case Type::Double:
        return QStringLiteral("Double");
    case Type::String:
        return QStringLiteral("String");
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
    case Type::Null:
        return {};
    case Type::Boolean:
        return m_i ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Byte:
    case Type::Integer:
    case Type::Long:
        return QString::number(m_i);
    case Type::Currency: {
        // Up to four decimals, trailing zeros dropped.
        const std::uint64_t a =
            m_i < 0 ? 0 - static_cast<std::uint64_t>(m_i) : static_cast<std::uint64_t>(m_i);
        QString t = QString::number(a / 10000);
        if (const std::uint64_t f = a % 10000) {
            QString frac = QString::number(f).rightJustified(4, u'0');
            while (frac.endsWith(u'0'))
                frac.chop(1);
            t += u'.' + frac;
        }
        return m_i < 0 ? u'-' + t : t;
    }
    case Type::Date:
        return dateText(m_d);
    case Type::Array:
        fail(TypeMismatch);
    case Type::Single:
        return text::GeneralNumber(m_d, 7);
    case Type::Double:
        return text::GeneralNumber(m_d, 15);
    case Type::String:
        return m_s;
    }
    return {};
}
