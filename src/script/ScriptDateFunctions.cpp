// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/Text.h"

#include <QDate>

#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

// The date functions. Dates and month names are Russian.

namespace script {

namespace {

using Value = ScriptValue;

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

// clang-format off
constexpr FnInfo kDates[] = {
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
    {"formatdatetime", Fn::Abs, 1, 2, fnFormatDateTime},
};
// clang-format on

} // namespace

std::span<const FnInfo> dateFunctions()
{
    return kDates;
}

} // namespace script
