// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <QDate>

#include <cmath>

// Dates as the listing data writes them: day first (dd.mm.yyyy), with the
// time as H:mm:ss; ISO yyyy-mm-dd reads as well. A Date is the number of days
// since 30.12.1899; before that day the fraction still counts forward.

namespace script {

namespace {

// Qt's day number of 30.12.1899, day 0 of a Date.
constexpr qint64 kEpoch = 2415019;

// Whole day and the seconds of the day, the seconds rounded as a date shows them.
void split(double serial, qint64& day, int& seconds)
{
    const double whole = std::trunc(serial);
    long long s = std::llround(std::fabs(serial - whole) * 86400.0);
    day = static_cast<qint64>(whole);
    if (s >= 86400) {
        s -= 86400;
        day += serial < 0 ? -1 : 1;
    }
    seconds = static_cast<int>(s);
}

struct Cursor
{
    const char16_t* p;
    qsizetype n;
    qsizetype i = 0;

    void blanks()
    {
        while (i < n && (p[i] == u' ' || p[i] == u'\t'))
            ++i;
    }
    // Up to `most` digits; -1 when there are none.
    int number(int most, int& digits)
    {
        int v = 0;
        digits = 0;
        while (i < n && isDigit(p[i]) && digits < most) {
            v = v * 10 + (p[i++] - u'0');
            ++digits;
        }
        return digits ? v : -1;
    }
    bool take(char16_t c)
    {
        if (i < n && p[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool atEnd() const { return i >= n; }
};

bool readTime(Cursor& c, double& out)
{
    int digits = 0;
    const int h = c.number(2, digits);
    if (h < 0 || !c.take(u':')) return false;
    const int m = c.number(2, digits);
    if (m < 0 || digits != 2) return false;
    int s = 0;
    if (c.take(u':')) {
        s = c.number(2, digits);
        if (s < 0 || digits != 2) return false;
    }
    if (h > 23 || m > 59 || s > 59) return false;
    out = timeSerial(h, m, s);
    return true;
}

} // namespace

DateParts partsOf(double serial)
{
    qint64 day = 0;
    int seconds = 0;
    split(serial, day, seconds);
    DateParts r;
    const QDate d = QDate::fromJulianDay(kEpoch + day);
    r.year = d.year();
    r.month = d.month();
    r.day = d.day();
    r.hour = seconds / 3600;
    r.minute = seconds / 60 % 60;
    r.second = seconds % 60;
    return r;
}

bool serialOf(int year, int month, int day, double& out)
{
    // Months and days may run over into the next or previous year and month.
    const qint64 months = static_cast<qint64>(year) * 12 + (month - 1);
    const qint64 y = months >= 0 ? months / 12 : -((-months + 11) / 12);
    const int m = static_cast<int>(months - y * 12) + 1;
    if (y < 100 || y > 9999) return false;
    const double serial =
        static_cast<double>(QDate(static_cast<int>(y), m, 1).toJulianDay() - kEpoch) + day - 1;
    if (serial < kMinDate || serial > kMaxDate) return false;
    out = serial;
    return true;
}

double timeSerial(int hour, int minute, int second)
{
    return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

bool readDateText(QStringView s, double& out)
{
    Cursor c{s.utf16(), s.size()};
    c.blanks();
    const qsizetype start = c.i;
    double time = 0;
    // A time alone.
    if (readTime(c, time)) {
        c.blanks();
        if (!c.atEnd()) return false;
        out = time;
        return true;
    }
    c.i = start;
    int d1 = 0, d2 = 0, d3 = 0;
    const int a = c.number(4, d1);
    if (a < 0 || c.atEnd()) return false;
    const char16_t sep = c.p[c.i];
    if (sep != u'.' && sep != u'/' && sep != u'-') return false;
    ++c.i;
    const int b = c.number(2, d2);
    if (b < 0 || !c.take(sep)) return false;
    const int e = c.number(4, d3);
    if (e < 0) return false;
    int year = 0, month = 0, day = 0;
    if (d1 == 4) { // yyyy-mm-dd
        if (d3 > 2) return false;
        year = a, month = b, day = e;
    } else if (d1 <= 2 && d3 >= 2) { // day first
        day = a, month = b, year = e;
        if (d3 == 2) year += year < 30 ? 2000 : 1900;
    } else {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || year < 100 || !QDate::isValid(year, month, day)) return false;
    double serial = 0;
    if (!serialOf(year, month, day, serial)) return false;
    // An optional time after a blank (or "T" in the ISO form).
    if (!c.atEnd()) {
        const qsizetype before = c.i;
        if (!(d1 == 4 && c.take(u'T'))) c.blanks();
        if (c.i == before) return false;
        if (!c.atEnd()) {
            if (!readTime(c, time)) return false;
            c.blanks();
            if (!c.atEnd()) return false;
        }
    }
    out = serial < 0 ? serial - time : serial + time;
    return true;
}

double dateOf(const ScriptValue& v)
{
    switch (v.type()) {
    case Type::Date:
        return v.realValue();
    case Type::Null:
        fail(InvalidNull);
    case Type::String: {
        double serial = 0;
        if (!readDateText(v.stringValue(), serial))
            fail(TypeMismatch, QStringLiteral("не дата: ") + v.stringValue().left(40));
        return serial;
    }
    case Type::Array:
        fail(TypeMismatch);
    default: {
        const double d = numberOf(v);
        if (!(d >= kMinDate && d <= kMaxDate)) fail(Overflow);
        return d;
    }
    }
}

QString dateText(double serial)
{
    qint64 day = 0;
    int seconds = 0;
    split(serial, day, seconds);
    const DateParts p = partsOf(serial);
    QString date;
    if (day != 0 || seconds == 0)
        date = QStringLiteral("%1.%2.%3")
                   .arg(p.day, 2, 10, QLatin1Char('0'))
                   .arg(p.month, 2, 10, QLatin1Char('0'))
                   .arg(p.year, 4, 10, QLatin1Char('0'));
    if (seconds == 0) return date;
    const QString time = QStringLiteral("%1:%2:%3")
                             .arg(p.hour)
                             .arg(p.minute, 2, 10, QLatin1Char('0'))
                             .arg(p.second, 2, 10, QLatin1Char('0'));
    return date.isEmpty() ? time : date + u' ' + time;
}

} // namespace script
