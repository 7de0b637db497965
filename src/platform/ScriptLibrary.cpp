// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/ScriptInternal.h"

#include "platform/Text.h"
#include "platform/TextFile.h"

#include <QDate>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

// The rest of VBScript's pure functions: texts, arrays, dates, formats, the
// type tests, and the named constants. Dates and month names are Russian;
// numbers keep "." as the decimal point.

namespace script {

namespace {

using Value = ScriptValue;

// ---- Argument helpers --------------------------------------------------------------

Value nullValue()
{
    return Value::null();
}

// A text argument: Null refused (94).
QString textArg(const Value& v)
{
    if (v.isNull()) fail(InvalidNull);
    return v.toString();
}

// A count or position: Null refused, rounded half to even.
std::int32_t longArg(const Value& v)
{
    if (v.isNull()) fail(InvalidNull);
    return argLong(v);
}

Qt::CaseSensitivity compareArg(const Args& a, int i)
{
    if (!a.has(i)) return Qt::CaseSensitive;
    const std::int32_t mode = longArg(a[i]);
    if (mode < 0 || mode > 2) fail(InvalidCall);
    return mode == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

bool boolArg(const Args& a, int i, bool fallback)
{
    if (!a.has(i)) return fallback;
    if (a[i].isNull()) fail(InvalidNull);
    return numberOf(a[i]) != 0;
}

const std::vector<Value>& arrayArg(const Value& v)
{
    if (v.isNull()) fail(InvalidNull);
    if (!v.isArray()) fail(TypeMismatch);
    return v.arrayValue();
}

Value text(QString s)
{
    return Value::fromString(std::move(s));
}

Value dateValue(double serial)
{
    return dateResult(serial);
}

// ---- Characters -------------------------------------------------------------------

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

QString ansiChar(std::int32_t code)
{
    const char c = static_cast<char>(static_cast<unsigned char>(code));
    return textfile::FromCp1251(&c, 1);
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

// ---- Numbers ----------------------------------------------------------------------

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

// ---- Texts ------------------------------------------------------------------------

Value fnSpace(const Args& a)
{
    const std::int32_t n = longArg(a[0]);
    if (n < 0) fail(InvalidCall);
    spendText(n);
    return text(QString(n, u' '));
}

Value fnString(const Args& a)
{
    if (a[0].isNull() || a[1].isNull()) return nullValue();
    const std::int32_t n = argLong(a[0]);
    if (n < 0) fail(InvalidCall);
    QChar c;
    if (a[1].type() == Type::String) {
        if (a[1].stringValue().isEmpty()) fail(InvalidCall);
        c = a[1].stringValue()[0];
    } else {
        const std::int32_t code = argLong(a[1]);
        c = ansiChar(((code % 256) + 256) % 256)[0];
    }
    spendText(n);
    return text(QString(n, c));
}

Value fnStrReverse(const Args& a)
{
    QString s = textArg(a[0]);
    std::reverse(s.begin(), s.end());
    return text(std::move(s));
}

Value fnStrComp(const Args& a)
{
    if (a[0].isNull() || a[1].isNull()) return nullValue();
    const int c = QString::compare(a[0].toString(), a[1].toString(), compareArg(a, 2));
    return Value::fromInteger(static_cast<std::int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
}

Value fnInStrRev(const Args& a)
{
    std::int32_t start = -1;
    if (a.has(2)) {
        start = longArg(a[2]);
        if (start == 0 || start < -1) fail(InvalidCall);
    }
    const Qt::CaseSensitivity cs = compareArg(a, 3);
    if (a[0].isNull() || a[1].isNull()) return nullValue();
    const QString s1 = a[0].toString();
    const QString s2 = a[1].toString();
    if (start == -1) start = static_cast<std::int32_t>(s1.size());
    if (start > s1.size()) return Value::fromLong(0);
    if (s2.isEmpty()) return Value::fromLong(start);
    const qsizetype from = start - s2.size();
    if (from < 0) return Value::fromLong(0);
    const TextMatcher needle(s2, cs, TextMatcher::Direction::Backward);
    const SearchText hay(s1, cs);
    return Value::fromLong(static_cast<std::int32_t>(needle.lastIndexIn(hay.view(), from) + 1));
}

Value fnReplace(const Args& a)
{
    const QString s = textArg(a[0]);
    const QString find = textArg(a[1]);
    const QString with = textArg(a[2]);
    std::int32_t start = 1;
    if (a.has(3)) {
        start = longArg(a[3]);
        if (start < 1) fail(InvalidCall);
    }
    std::int32_t count = -1;
    if (a.has(4)) {
        count = longArg(a[4]);
        if (count < -1) fail(InvalidCall);
    }
    const Qt::CaseSensitivity cs = compareArg(a, 5);
    if (start > s.size()) return text(QString());
    // The result begins at start, as the function's contract says.
    const QStringView rest = QStringView(s).mid(start - 1);
    if (find.isEmpty() || count == 0) return text(rest.toString());
    const TextMatcher needle(find, cs);
    const SearchText hay(rest, cs);
    QString out;
    qsizetype pos = 0;
    for (std::int32_t done = 0; count < 0 || done < count; ++done) {
        const qsizetype hit = needle.indexIn(hay.view(), pos);
        if (hit < 0) break;
        checkText(out.size() + (hit - pos) + with.size());
        out += rest.mid(pos, hit - pos);
        out += with;
        pos = hit + find.size();
    }
    spendText(out.size() + (rest.size() - pos));
    out += rest.mid(pos);
    return text(std::move(out));
}

Value fnSplit(const Args& a)
{
    const QString s = textArg(a[0]);
    const QString delimiter = a.has(1) ? textArg(a[1]) : QStringLiteral(" ");
    std::int32_t count = -1;
    if (a.has(2)) {
        count = longArg(a[2]);
        if (count < -1) fail(InvalidCall);
    }
    const Qt::CaseSensitivity cs = compareArg(a, 3);
    std::vector<Value> items;
    if (s.isEmpty() || count == 0) return Value::fromArray(std::move(items));
    if (delimiter.isEmpty()) {
        items.push_back(text(s));
        return Value::fromArray(std::move(items));
    }
    const TextMatcher needle(delimiter, cs);
    const SearchText hay(s, cs);
    qsizetype pos = 0;
    for (;;) {
        checkItems(static_cast<qint64>(items.size()) + 1);
        const qsizetype hit = count >= 0 && static_cast<qsizetype>(items.size()) == count - 1
                                  ? -1
                                  : needle.indexIn(hay.view(), pos);
        if (hit < 0) {
            items.push_back(text(s.mid(pos)));
            break;
        }
        items.push_back(text(s.mid(pos, hit - pos)));
        pos = hit + delimiter.size();
    }
    spendItems(static_cast<qint64>(items.size()));
    spendText(s.size());
    return Value::fromArray(std::move(items));
}

Value fnJoin(const Args& a)
{
    const std::vector<Value>& items = arrayArg(a[0]);
    const QString delimiter = a.has(1) ? textArg(a[1]) : QStringLiteral(" ");
    QString out;
    for (size_t i = 0; i < items.size(); ++i) {
        const QString t = items[i].toString();
        checkText(out.size() + t.size() + (i ? delimiter.size() : 0));
        if (i) out += delimiter;
        out += t;
    }
    spendText(out.size());
    return text(std::move(out));
}

Value fnFilter(const Args& a)
{
    const std::vector<Value>& items = arrayArg(a[0]);
    const QString value = textArg(a[1]);
    const bool include = boolArg(a, 2, true);
    const Qt::CaseSensitivity cs = compareArg(a, 3);
    const TextMatcher needle(value, cs);
    std::vector<Value> out;
    for (const Value& v : items) {
        const QString t = textArg(v);
        if ((needle.indexIn(SearchText(t, cs).view()) >= 0) == include) out.push_back(text(t));
    }
    spendItems(static_cast<qint64>(out.size()));
    return Value::fromArray(std::move(out));
}

// The B forms count bytes of the UTF-16 text: two a character.
Value fnLenB(const Args& a)
{
    if (a[0].isNull()) return a[0];
    return Value::fromLong(static_cast<std::int32_t>(a[0].toString().size() * 2));
}

Value fnLeftB(const Args& a)
{
    const std::int32_t n = longArg(a[1]);
    if (n < 0) fail(InvalidCall);
    if (a[0].isNull()) return a[0];
    return text(a[0].toString().left(n / 2));
}

Value fnRightB(const Args& a)
{
    const std::int32_t n = longArg(a[1]);
    if (n < 0) fail(InvalidCall);
    if (a[0].isNull()) return a[0];
    return text(a[0].toString().right(n / 2));
}

Value fnMidB(const Args& a)
{
    const std::int32_t start = longArg(a[1]);
    if (start < 1) fail(InvalidCall);
    std::int32_t length = -1;
    if (a.count > 2) {
        length = longArg(a[2]);
        if (length < 0) fail(InvalidCall);
    }
    if (a[0].isNull()) return a[0];
    const QString s = a[0].toString();
    const qsizetype first = (start - 1) / 2;
    if (first >= s.size()) return text(QString());
    return text(s.mid(first, length < 0 ? -1 : length / 2));
}

Value fnInStrB(const Args& a)
{
    const int first = a.count >= 3 ? 1 : 0;
    std::int32_t start = 1;
    if (first) {
        start = longArg(a[0]);
        if (start < 1) fail(InvalidCall);
    }
    const Qt::CaseSensitivity cs = a.count == 4 ? compareArg(a, 3) : Qt::CaseSensitive;
    if (a[first].isNull() || a[first + 1].isNull()) return nullValue();
    const QString s1 = a[first].toString();
    const QString s2 = a[first + 1].toString();
    const qsizetype from = (start - 1) / 2;
    if (from > s1.size()) return Value::fromLong(0);
    const TextMatcher needle(s2, cs);
    const SearchText hay(s1, cs);
    const qsizetype hit = needle.indexIn(hay.view(), from);
    return Value::fromLong(hit < 0 ? 0 : static_cast<std::int32_t>(hit * 2 + 1));
}

// Escape keeps letters, digits and @*_+-./; other characters below 256 become
// %XX, the rest %uXXXX.
Value fnEscape(const Args& a)
{
    if (a[0].isNull()) return a[0];
    const QString s = a[0].toString();
    static constexpr std::u16string_view kept = u"@*_+-./";
    QString out;
    for (const QChar ch : s) {
        const char16_t c = ch.unicode();
        checkText(out.size() + 6);
        if ((c < 0x80 && (isDigit(c) || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z'))) ||
            kept.find(c) != std::u16string_view::npos)
            out += ch;
        else if (c < 256)
            out += u'%' + QString::number(c, 16).toUpper().rightJustified(2, u'0');
        else
            out += QStringLiteral("%u") + QString::number(c, 16).toUpper().rightJustified(4, u'0');
    }
    spendText(out.size());
    return text(std::move(out));
}

int hexDigit(char16_t c)
{
    if (isDigit(c)) return c - u'0';
    c |= 0x20;
    return c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
}

Value fnUnescape(const Args& a)
{
    if (a[0].isNull()) return a[0];
    const QString s = a[0].toString();
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'%') {
            const bool wide = i + 1 < s.size() && s[i + 1] == u'u';
            const int digits = wide ? 4 : 2;
            const qsizetype from = i + (wide ? 2 : 1);
            int v = 0;
            bool ok = from + digits <= s.size();
            for (int k = 0; ok && k < digits; ++k) {
                const int d = hexDigit(s[from + k].unicode());
                ok = d >= 0;
                v = v * 16 + d;
            }
            if (ok) {
                out += QChar(static_cast<char16_t>(v));
                i = from + digits - 1;
                continue;
            }
        }
        out += s[i];
    }
    return text(std::move(out));
}

// ---- Arrays and types ------------------------------------------------------------

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

// ---- Dates ------------------------------------------------------------------------

constexpr std::array<std::u16string_view, 12> kMonths = {
    u"январь", u"февраль", u"март",     u"апрель",  u"май",    u"июнь",
    u"июль",   u"август",  u"сентябрь", u"октябрь", u"ноябрь", u"декабрь",
};
// As a date writes the month: "1 февраля 2008 г.".
constexpr std::array<std::u16string_view, 12> kMonthsOf = {
    u"января", u"февраля", u"марта",    u"апреля",  u"мая",    u"июня",
    u"июля",   u"августа", u"сентября", u"октября", u"ноября", u"декабря",
};
constexpr std::array<std::u16string_view, 12> kMonthsShort = {
    u"янв", u"фев", u"мар", u"апр", u"май", u"июн", u"июл", u"авг", u"сен", u"окт", u"ноя", u"дек",
};
// Sunday first, as VBScript numbers the days.
constexpr std::array<std::u16string_view, 7> kDays = {
    u"воскресенье", u"понедельник", u"вторник", u"среда", u"четверг", u"пятница", u"суббота",
};
constexpr std::array<std::u16string_view, 7> kDaysShort = {u"вс", u"пн", u"вт", u"ср", u"чт", u"пт", u"сб"};

// The week here starts on Monday and its first week has four days of the year.
constexpr int kSystemFirstDay = 2;
constexpr int kSystemFirstWeek = 2;

QString str(std::u16string_view s)
{
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

int firstDayArg(const Args& a, int i)
{
    if (!a.has(i)) return 1;
    const std::int32_t d = longArg(a[i]);
    if (d < 0 || d > 7) fail(InvalidCall);
    return d == 0 ? kSystemFirstDay : d;
}

int firstWeekArg(const Args& a, int i)
{
    if (!a.has(i)) return 1;
    const std::int32_t w = longArg(a[i]);
    if (w < 0 || w > 3) fail(InvalidCall);
    return w == 0 ? kSystemFirstWeek : w;
}

qint64 dayOf(double serial)
{
    return static_cast<qint64>(std::floor(serial));
}

// 1 for the first day of the week, counted from firstDay (1 = Sunday).
int weekdayOf(qint64 day, int firstDay)
{
    // Day 0 (30.12.1899) was a Saturday, day 7 of a week from Sunday.
    const int sundayBased = static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
    return (sundayBased - firstDay + 7) % 7 + 1;
}

qint64 weekStart(qint64 day, int firstDay)
{
    return day - (weekdayOf(day, firstDay) - 1);
}

int weekOfYear(qint64 day, int year, int firstDay, int firstWeek)
{
    double jan1 = 0;
    if (!serialOf(year, 1, 1, jan1)) return 1;
    const qint64 j = dayOf(jan1);
    qint64 first = weekStart(j, firstDay);
    if (firstWeek == 2 && 8 - weekdayOf(j, firstDay) < 4)
        first += 7;
    else if (firstWeek == 3 && weekdayOf(j, firstDay) != 1)
        first += 7;
    if (day < first) return weekOfYear(day, year - 1, firstDay, firstWeek);
    return static_cast<int>((day - first) / 7) + 1;
}

Value fnDate(const Args& a)
{
    return Value::fromDate(std::trunc(a.ctx.readNow()));
}

Value fnTime(const Args& a)
{
    const double now = a.ctx.readNow();
    return Value::fromDate(now - std::trunc(now));
}

Value fnNow(const Args& a)
{
    return Value::fromDate(a.ctx.readNow());
}

Value fnTimer(const Args& a)
{
    const double now = a.ctx.readNow();
    const double seconds = (now - std::trunc(now)) * 86400.0;
    return Value::fromSingle(static_cast<float>(std::round(seconds * 100) / 100));
}

// Year..Second, Weekday: Null gives Null.
template <int DateParts::*Part> Value datePart(const Args& a)
{
    if (a[0].isNull()) return a[0];
    return Value::fromInteger(static_cast<std::int16_t>(partsOf(dateOf(a[0])).*Part));
}

Value fnWeekday(const Args& a)
{
    if (a[0].isNull()) return a[0];
    const double d = dateOf(a[0]);
    return Value::fromInteger(static_cast<std::int16_t>(weekdayOf(dayOf(d), firstDayArg(a, 1))));
}

Value fnWeekdayName(const Args& a)
{
    const std::int32_t n = longArg(a[0]);
    if (n < 1 || n > 7) fail(InvalidCall);
    const bool shortName = boolArg(a, 1, false);
    const int first = firstDayArg(a, 2);
    const int k = (n - 1 + first - 1) % 7;
    return text(str(shortName ? kDaysShort[static_cast<size_t>(k)] : kDays[static_cast<size_t>(k)]));
}

Value fnMonthName(const Args& a)
{
    const std::int32_t n = longArg(a[0]);
    if (n < 1 || n > 12) fail(InvalidCall);
    const auto k = static_cast<size_t>(n - 1);
    return text(str(boolArg(a, 1, false) ? kMonthsShort[k] : kMonths[k]));
}

// DateSerial's arguments are Integers: beyond 16 bits is an overflow.
std::int16_t integerArg(const Value& v)
{
    const std::int32_t n = longArg(v);
    if (n < -32768 || n > 32767) fail(Overflow);
    return static_cast<std::int16_t>(n);
}

int yearArg(const Value& v)
{
    const int y = integerArg(v);
    // Two-digit years as the date texts read them.
    if (y >= 0 && y < 30) return y + 2000;
    if (y >= 30 && y < 100) return y + 1900;
    return y;
}

Value fnDateSerial(const Args& a)
{
    const int y = yearArg(a[0]);
    const int m = integerArg(a[1]);
    const int d = integerArg(a[2]);
    double serial = 0;
    if (!serialOf(y, m, 1, serial)) fail(InvalidCall);
    serial += d - 1;
    if (serial < kMinDate || serial > kMaxDate) fail(InvalidCall);
    return Value::fromDate(serial);
}

Value fnTimeSerial(const Args& a)
{
    const double seconds = longArg(a[0]) * 3600.0 + longArg(a[1]) * 60.0 + longArg(a[2]);
    const double day = std::floor(seconds / 86400.0);
    const double time = (seconds - day * 86400.0) / 86400.0;
    return dateValue(day < 0 ? day - time : day + time);
}

Value fnDateValue(const Args& a)
{
    if (a[0].isNull()) return a[0];
    return Value::fromDate(std::trunc(dateOf(a[0])));
}

Value fnTimeValue(const Args& a)
{
    if (a[0].isNull()) return a[0];
    const double d = dateOf(a[0]);
    return Value::fromDate(std::fabs(d - std::trunc(d)));
}

enum class Unit { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Unit unitArg(const Value& v)
{
    const QString s = textArg(v).toLower();
    if (s == u"yyyy") return Unit::Year;
    if (s == u"q") return Unit::Quarter;
    if (s == u"m") return Unit::Month;
    if (s == u"y") return Unit::DayOfYear;
    if (s == u"d") return Unit::Day;
    if (s == u"w") return Unit::Weekday;
    if (s == u"ww") return Unit::Week;
    if (s == u"h") return Unit::Hour;
    if (s == u"n") return Unit::Minute;
    if (s == u"s") return Unit::Second;
    fail(InvalidCall, QStringLiteral("неизвестный интервал «") + s.left(10) + u'»');
}

Value fnDateAdd(const Args& a)
{
    const Unit unit = unitArg(a[0]);
    if (a[1].isNull() || a[2].isNull()) return nullValue();
    // The count is rounded, halves to even, as a whole number argument is.
    const double n = text::RoundHalfEven(numberOf(a[1]));
    const double d = dateOf(a[2]);
    if (std::fabs(n) > 1e9) fail(InvalidCall);
    double serial = 0;
    switch (unit) {
    case Unit::Year:
    case Unit::Quarter:
    case Unit::Month: {
        const int months = static_cast<int>(n) * (unit == Unit::Year ? 12 : unit == Unit::Quarter ? 3 : 1);
        const DateParts p = partsOf(d);
        double first = 0;
        if (!serialOf(p.year, p.month + months, 1, first)) fail(InvalidCall);
        // The day stays, or becomes the month's last.
        const DateParts q = partsOf(first);
        const int day = std::min(p.day, QDate(q.year, q.month, 1).daysInMonth());
        const double time = std::fabs(d - std::trunc(d));
        serial = first + day - 1;
        serial = serial < 0 ? serial - time : serial + time;
        break;
    }
    case Unit::DayOfYear:
    case Unit::Day:
    case Unit::Weekday:
        serial = d + n;
        break;
    case Unit::Week:
        serial = d + 7 * n;
        break;
    case Unit::Hour:
        serial = d + n / 24;
        break;
    case Unit::Minute:
        serial = d + n / 1440;
        break;
    case Unit::Second:
        serial = d + n / 86400;
        break;
    }
    if (!(serial >= kMinDate && serial <= kMaxDate)) fail(InvalidCall);
    return Value::fromDate(serial);
}

// Seconds since day 0, rounded as a date shows them.
double secondsOf(double serial)
{
    const double day = std::trunc(serial);
    const double time = std::round(std::fabs(serial - day) * 86400.0);
    return day * 86400.0 + (serial < 0 ? -time : time);
}

Value fnDateDiff(const Args& a)
{
    const Unit unit = unitArg(a[0]);
    const int firstDay = firstDayArg(a, 3);
    firstWeekArg(a, 4);
    if (a[1].isNull() || a[2].isNull()) return nullValue();
    const double d1 = dateOf(a[1]);
    const double d2 = dateOf(a[2]);
    const DateParts p1 = partsOf(d1), p2 = partsOf(d2);
    const qint64 day1 = dayOf(secondsOf(d1) / 86400.0), day2 = dayOf(secondsOf(d2) / 86400.0);
    double r = 0;
    switch (unit) {
    case Unit::Year:
        r = p2.year - p1.year;
        break;
    case Unit::Quarter:
        r = (p2.year * 4 + (p2.month - 1) / 3) - (p1.year * 4 + (p1.month - 1) / 3);
        break;
    case Unit::Month:
        r = (p2.year * 12 + p2.month) - (p1.year * 12 + p1.month);
        break;
    case Unit::DayOfYear:
    case Unit::Day:
        r = static_cast<double>(day2 - day1);
        break;
    case Unit::Weekday:
        r = static_cast<double>((day2 - day1) / 7);
        break;
    case Unit::Week:
        r = static_cast<double>((weekStart(day2, firstDay) - weekStart(day1, firstDay)) / 7);
        break;
    case Unit::Hour:
        r = std::floor(secondsOf(d2) / 3600) - std::floor(secondsOf(d1) / 3600);
        break;
    case Unit::Minute:
        r = std::floor(secondsOf(d2) / 60) - std::floor(secondsOf(d1) / 60);
        break;
    case Unit::Second:
        r = secondsOf(d2) - secondsOf(d1);
        break;
    }
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) fail(Overflow);
    return Value::fromLong(static_cast<std::int32_t>(r));
}

Value fnDatePart(const Args& a)
{
    const Unit unit = unitArg(a[0]);
    const int firstDay = firstDayArg(a, 2);
    const int firstWeek = firstWeekArg(a, 3);
    if (a[1].isNull()) return nullValue();
    const double d = dateOf(a[1]);
    const DateParts p = partsOf(d);
    const qint64 day = dayOf(secondsOf(d) / 86400.0);
    int r = 0;
    switch (unit) {
    case Unit::Year:
        r = p.year;
        break;
    case Unit::Quarter:
        r = (p.month - 1) / 3 + 1;
        break;
    case Unit::Month:
        r = p.month;
        break;
    case Unit::DayOfYear:
        r = QDate(p.year, p.month, p.day).dayOfYear();
        break;
    case Unit::Day:
        r = p.day;
        break;
    case Unit::Weekday:
        r = weekdayOf(day, firstDay);
        break;
    case Unit::Week:
        r = weekOfYear(day, p.year, firstDay, firstWeek);
        break;
    case Unit::Hour:
        r = p.hour;
        break;
    case Unit::Minute:
        r = p.minute;
        break;
    case Unit::Second:
        r = p.second;
        break;
    }
    return Value::fromInteger(static_cast<std::int16_t>(r));
}

Value fnFormatDateTime(const Args& a)
{
    const double d = dateOf(a[0]);
    const std::int32_t format = a.has(1) ? longArg(a[1]) : 0;
    const DateParts p = partsOf(d);
    switch (format) {
    case 0:
        return text(dateText(d));
    case 1:
        return text(QStringLiteral("%1 %2 %3 г.")
                        .arg(p.day)
                        .arg(str(kMonthsOf[static_cast<size_t>(p.month - 1)]))
                        .arg(p.year));
    case 2:
        return text(dateText(std::trunc(d)));
    case 3:
        return text(QStringLiteral("%1:%2:%3")
                        .arg(p.hour)
                        .arg(p.minute, 2, 10, QLatin1Char('0'))
                        .arg(p.second, 2, 10, QLatin1Char('0')));
    case 4:
        return text(QStringLiteral("%1:%2")
                        .arg(p.hour, 2, 10, QLatin1Char('0'))
                        .arg(p.minute, 2, 10, QLatin1Char('0')));
    default:
        fail(InvalidCall);
    }
}

// ---- Number formats ---------------------------------------------------------------

// Tristate arguments: -1 True, 0 False, -2 the default.
bool tristateArg(const Args& a, int i, bool fallback)
{
    if (!a.has(i)) return fallback;
    const std::int32_t t = longArg(a[i]);
    if (t == -2) return fallback;
    if (t != -1 && t != 0) fail(InvalidCall);
    return t == -1;
}

// FormatNumber and its kin: "." as the decimal point as everywhere in formulas;
// digits grouped by threes unless asked not to, as the Russian regional settings do, with a
// plain space (the same one the explicit grouping has always written, so a formula can type it).
QString formatted(double x, const Args& a, int first)
{
    std::int32_t digits = a.has(first) ? longArg(a[first]) : -1;
    if (digits == -1) digits = 2;
    if (digits < 0 || digits > 255) fail(InvalidCall);
    const bool leading = tristateArg(a, first + 1, true);
    const bool parens = tristateArg(a, first + 2, false);
    const bool group = tristateArg(a, first + 3, true);
    if (!std::isfinite(x) || std::fabs(x) >= 1e300) fail(Overflow);
    QString t = QString::number(std::fabs(x), 'f', digits);
    const bool negative =
        x < 0 && std::any_of(t.begin(), t.end(), [](QChar c) { return c >= u'1' && c <= u'9'; });
    if (!leading && t.startsWith(u"0.")) t.remove(0, 1);
    if (group) {
        qsizetype point = t.indexOf(u'.');
        if (point < 0) point = t.size();
        for (qsizetype k = point - 3; k > 0; k -= 3)
            t.insert(k, u' ');
    }
    if (negative) t = parens ? QString(u'(' + t + u')') : QString(u'-' + t);
    return t;
}

Value fnFormatNumber(const Args& a)
{
    return text(formatted(numberOf(a[0]), a, 1));
}

Value fnFormatCurrency(const Args& a)
{
    return text(formatted(numberOf(a[0]), a, 1) + QStringLiteral(" ₽"));
}

Value fnFormatPercent(const Args& a)
{
    return text(formatted(numberOf(a[0]) * 100, a, 1) + u'%');
}

constexpr FnInfo kLibrary[] = {
    {"asc", Fn::Abs, 1, 1, fnAsc},
    {"ascw", Fn::Abs, 1, 1, fnAscW},
    {"ascb", Fn::Abs, 1, 1, fnAscB},
    {"chr", Fn::Abs, 1, 1, fnChr},
    {"chrw", Fn::Abs, 1, 1, fnChrW},
    {"chrb", Fn::Abs, 1, 1, fnChrB},
    {"hex", Fn::Abs, 1, 1, fnHex},
    {"oct", Fn::Abs, 1, 1, fnOct},
    {"cbyte", Fn::Abs, 1, 1, fnCByte},
    {"ccur", Fn::Abs, 1, 1, fnCCur},
    {"cdate", Fn::Abs, 1, 1, fnCDate},
    {"atn", Fn::Abs, 1, 1, fnAtn},
    {"cos", Fn::Abs, 1, 1, fnCos},
    {"sin", Fn::Abs, 1, 1, fnSin},
    {"tan", Fn::Abs, 1, 1, fnTan},
    {"space", Fn::Abs, 1, 1, fnSpace},
    {"string", Fn::Abs, 2, 2, fnString},
    {"strreverse", Fn::Abs, 1, 1, fnStrReverse},
    {"strcomp", Fn::Abs, 2, 3, fnStrComp},
    {"instrrev", Fn::Abs, 2, 4, fnInStrRev},
    {"instrb", Fn::Abs, 2, 4, fnInStrB},
    {"lenb", Fn::Abs, 1, 1, fnLenB},
    {"leftb", Fn::Abs, 2, 2, fnLeftB},
    {"rightb", Fn::Abs, 2, 2, fnRightB},
    {"midb", Fn::Abs, 2, 3, fnMidB},
    {"replace", Fn::Abs, 3, 6, fnReplace},
    {"split", Fn::Abs, 1, 4, fnSplit},
    {"join", Fn::Abs, 1, 2, fnJoin},
    {"filter", Fn::Abs, 2, 4, fnFilter},
    {"array", Fn::Abs, 0, kManyArgs, fnArray},
    {"ubound", Fn::Abs, 1, 2, fnUBound},
    {"lbound", Fn::Abs, 1, 2, fnLBound},
    {"isarray", Fn::Abs, 1, 1, fnIsArray},
    {"isdate", Fn::Abs, 1, 1, fnIsDate},
    {"isnull", Fn::Abs, 1, 1, fnIsNull},
    {"isobject", Fn::Abs, 1, 1, fnIsObject},
    {"vartype", Fn::Abs, 1, 1, fnVarType},
    {"typename", Fn::Abs, 1, 1, fnTypeName},
    {"rgb", Fn::Abs, 3, 3, fnRGB},
    {"escape", Fn::Abs, 1, 1, fnEscape},
    {"unescape", Fn::Abs, 1, 1, fnUnescape},
    {"dateserial", Fn::Abs, 3, 3, fnDateSerial},
    {"timeserial", Fn::Abs, 3, 3, fnTimeSerial},
    {"datevalue", Fn::Abs, 1, 1, fnDateValue},
    {"timevalue", Fn::Abs, 1, 1, fnTimeValue},
    {"date", Fn::Abs, 0, 0, fnDate},
    {"time", Fn::Abs, 0, 0, fnTime},
    {"now", Fn::Abs, 0, 0, fnNow},
    {"timer", Fn::Abs, 0, 0, fnTimer},
    {"year", Fn::Abs, 1, 1, datePart<&DateParts::year>},
    {"month", Fn::Abs, 1, 1, datePart<&DateParts::month>},
    {"day", Fn::Abs, 1, 1, datePart<&DateParts::day>},
    {"hour", Fn::Abs, 1, 1, datePart<&DateParts::hour>},
    {"minute", Fn::Abs, 1, 1, datePart<&DateParts::minute>},
    {"second", Fn::Abs, 1, 1, datePart<&DateParts::second>},
    {"weekday", Fn::Abs, 1, 2, fnWeekday},
    {"weekdayname", Fn::Abs, 1, 3, fnWeekdayName},
    {"monthname", Fn::Abs, 1, 2, fnMonthName},
    {"dateadd", Fn::Abs, 3, 3, fnDateAdd},
    {"datediff", Fn::Abs, 3, 5, fnDateDiff},
    {"datepart", Fn::Abs, 2, 4, fnDatePart},
    {"formatnumber", Fn::Abs, 1, 5, fnFormatNumber},
    {"formatcurrency", Fn::Abs, 1, 5, fnFormatCurrency},
    {"formatpercent", Fn::Abs, 1, 5, fnFormatPercent},
    {"formatdatetime", Fn::Abs, 1, 2, fnFormatDateTime},
};

// ---- Named constants ----------------------------------------------------------------

struct Constant
{
    std::string_view name;
    std::int32_t number; // for a text constant: its one character, or -1 for ""
    bool isText;
};

constexpr Constant kConstants[] = {
    {"vbCrLf", 0, true}, // two characters: handled below
    {"vbNewLine", 0, true},
    {"vbCr", 13, true},
    {"vbLf", 10, true},
    {"vbTab", 9, true},
    {"vbVerticalTab", 11, true},
    {"vbFormFeed", 12, true},
    {"vbBack", 8, true},
    {"vbNullChar", 0, true},
    {"vbNullString", -1, true},
    {"vbBinaryCompare", 0, false},
    {"vbTextCompare", 1, false},
    {"vbDatabaseCompare", 2, false},
    {"vbUseSystemDayOfWeek", 0, false},
    {"vbSunday", 1, false},
    {"vbMonday", 2, false},
    {"vbTuesday", 3, false},
    {"vbWednesday", 4, false},
    {"vbThursday", 5, false},
    {"vbFriday", 6, false},
    {"vbSaturday", 7, false},
    {"vbUseSystem", 0, false},
    {"vbFirstJan1", 1, false},
    {"vbFirstFourDays", 2, false},
    {"vbFirstFullWeek", 3, false},
    {"vbGeneralDate", 0, false},
    {"vbLongDate", 1, false},
    {"vbShortDate", 2, false},
    {"vbLongTime", 3, false},
    {"vbShortTime", 4, false},
    {"vbEmpty", 0, false},
    {"vbNull", 1, false},
    {"vbInteger", 2, false},
    {"vbLong", 3, false},
    {"vbSingle", 4, false},
    {"vbDouble", 5, false},
    {"vbCurrency", 6, false},
    {"vbDate", 7, false},
    {"vbString", 8, false},
    {"vbObject", 9, false},
    {"vbError", 10, false},
    {"vbBoolean", 11, false},
    {"vbVariant", 12, false},
    {"vbDataObject", 13, false},
    {"vbDecimal", 14, false},
    {"vbByte", 17, false},
    {"vbArray", 8192, false},
    {"vbTrue", -1, false},
    {"vbFalse", 0, false},
    {"vbUseDefault", -2, false},
    {"vbBlack", 0x000000, false},
    {"vbRed", 0x0000FF, false},
    {"vbGreen", 0x00FF00, false},
    {"vbYellow", 0x00FFFF, false},
    {"vbBlue", 0xFF0000, false},
    {"vbMagenta", 0xFF00FF, false},
    {"vbCyan", 0xFFFF00, false},
    {"vbWhite", 0xFFFFFF, false},
    {"vbObjectError", -2147221504, false},
    {"vbOKOnly", 0, false},
    {"vbOKCancel", 1, false},
    {"vbAbortRetryIgnore", 2, false},
    {"vbYesNoCancel", 3, false},
    {"vbYesNo", 4, false},
    {"vbRetryCancel", 5, false},
    {"vbCritical", 16, false},
    {"vbQuestion", 32, false},
    {"vbExclamation", 48, false},
    {"vbInformation", 64, false},
    {"vbDefaultButton1", 0, false},
    {"vbDefaultButton2", 256, false},
    {"vbDefaultButton3", 512, false},
    {"vbDefaultButton4", 768, false},
    {"vbApplicationModal", 0, false},
    {"vbSystemModal", 4096, false},
    {"vbOK", 1, false},
    {"vbCancel", 2, false},
    {"vbAbort", 3, false},
    {"vbRetry", 4, false},
    {"vbIgnore", 5, false},
    {"vbYes", 6, false},
    {"vbNo", 7, false},
};

constexpr std::string_view kRefused[] = {
    "CreateObject", "GetObject",   "Eval",      "Execute",   "ExecuteGlobal", "GetRef", "InputBox",
    "MsgBox",       "LoadPicture", "SetLocale", "GetLocale", "Randomize",     "Rnd",
};

// Every function in its usual spelling, for suggestions.
constexpr std::string_view kFunctionNames[] = {
    "Abs",
    "Sgn",
    "Int",
    "Fix",
    "Sqr",
    "Exp",
    "Log",
    "Round",
    "CInt",
    "CLng",
    "CSng",
    "CDbl",
    "CStr",
    "CBool",
    "Len",
    "Left",
    "Right",
    "Mid",
    "InStr",
    "LCase",
    "UCase",
    "Trim",
    "LTrim",
    "RTrim",
    "IsNumeric",
    "IsEmpty",
    "Asc",
    "AscW",
    "AscB",
    "Chr",
    "ChrW",
    "ChrB",
    "Hex",
    "Oct",
    "CByte",
    "CCur",
    "CDate",
    "Atn",
    "Cos",
    "Sin",
    "Tan",
    "Space",
    "String",
    "StrReverse",
    "StrComp",
    "InStrRev",
    "InStrB",
    "LenB",
    "LeftB",
    "RightB",
    "MidB",
    "Replace",
    "Split",
    "Join",
    "Filter",
    "Array",
    "UBound",
    "LBound",
    "IsArray",
    "IsDate",
    "IsNull",
    "IsObject",
    "VarType",
    "TypeName",
    "RGB",
    "Escape",
    "Unescape",
    "DateSerial",
    "TimeSerial",
    "DateValue",
    "TimeValue",
    "Date",
    "Time",
    "Now",
    "Timer",
    "Year",
    "Month",
    "Day",
    "Hour",
    "Minute",
    "Second",
    "Weekday",
    "WeekdayName",
    "MonthName",
    "DateAdd",
    "DateDiff",
    "DatePart",
    "FormatNumber",
    "FormatCurrency",
    "FormatPercent",
    "FormatDateTime",
};

bool sameName(QStringView name, std::string_view known)
{
    if (name.size() != static_cast<qsizetype>(known.size())) return false;
    for (size_t k = 0; k < known.size(); ++k) {
        char16_t c = name[static_cast<qsizetype>(k)].unicode();
        if (c >= u'A' && c <= u'Z') c |= 0x20;
        char kc = known[k];
        if (kc >= 'A' && kc <= 'Z') kc = static_cast<char>(kc | 0x20);
        if (c != static_cast<unsigned char>(kc)) return false;
    }
    return true;
}

} // namespace

std::span<const FnInfo> libraryFunctions()
{
    return kLibrary;
}

bool findConstant(QStringView name, ScriptValue& out)
{
    if (name.size() < 4 || (name[0] != u'v' && name[0] != u'V')) return false;
    for (const Constant& c : kConstants) {
        if (!sameName(name, c.name)) continue;
        if (!c.isText)
            out = c.number >= -32768 && c.number <= 32767
                      ? Value::fromInteger(static_cast<std::int16_t>(c.number))
                      : Value::fromLong(c.number);
        else if (c.name == "vbCrLf" || c.name == "vbNewLine")
            out = text(QStringLiteral("\r\n"));
        else if (c.number < 0)
            out = text(QString());
        else
            out = text(QString(QChar(static_cast<char16_t>(c.number))));
        return true;
    }
    return false;
}

bool isRefused(QStringView name)
{
    return std::any_of(std::begin(kRefused), std::end(kRefused),
                       [name](std::string_view r) { return sameName(name, r); });
}

std::span<const std::string_view> knownNames()
{
    static const std::vector<std::string_view> all = [] {
        std::vector<std::string_view> v(std::begin(kFunctionNames), std::end(kFunctionNames));
        for (const Constant& c : kConstants)
            v.push_back(c.name);
        return v;
    }();
    return all;
}

QString closestName(QStringView name, std::span<const QString> names)
{
    // Close means one edit in a short name, two in a longer one.
    const int limit = name.size() <= 4 ? 1 : 2;
    if (name.size() > 64) return {};
    int best = limit + 1;
    QString found;
    const auto consider = [&](const QString& candidate) {
        if (candidate.isEmpty()) return;
        const int d = text::EditDistance(name, candidate, limit + 1);
        if (d > 0 && d < best) {
            best = d;
            found = candidate;
        }
    };
    // Attribute names first: on a tie they win.
    for (const QString& n : names)
        consider(n);
    for (const std::string_view n : knownNames())
        consider(QString::fromLatin1(n.data(), static_cast<qsizetype>(n.size())));
    return found;
}

} // namespace script
