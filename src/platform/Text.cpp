// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Text.h"

#include "platform/Errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace text {

namespace {

bool isIgnored(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

int digitValue(QChar c, int base)
{
    int v = -1;
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        v = u - u'0';
    else if (u >= u'a' && u <= u'f')
        v = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        v = u - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

} // namespace

namespace {

// Most fields are plain numbers ("1500", "54.5"): read them without the general
// parser. With at most 15 digits the mantissa and the power of ten are exact, so
// one division gives the correctly rounded value, as the general path does.
bool fastVal(QStringView s, double& out)
{
    const qsizetype n = s.size();
    if (n == 0 || n > 16) return false;
    qsizetype i = 0;
    const bool neg = s[0] == u'-';
    if (neg) i = 1;
    long long mantissa = 0;
    int digits = 0, decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c >= u'0' && c <= u'9') {
            mantissa = mantissa * 10 + (c - u'0');
            ++digits;
            if (point) ++decimals;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 15) return false;
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double v = static_cast<double>(mantissa) / kPow10[decimals];
    out = neg ? -v : v;
    return true;
}

} // namespace

double Val(QStringView s)
{
    double fast;
    if (fastVal(s, fast)) return fast;
    // Collect the significant characters as ASCII, skipping the ignored ones.
    std::string buf;
    buf.reserve(static_cast<size_t>(std::min<qsizetype>(s.size(), 64)));
    qsizetype i = 0;
    auto next = [&]() -> QChar {
        while (i < s.size() && isIgnored(s[i]))
            ++i;
        return i < s.size() ? s[i] : QChar();
    };

    QChar c = next();
    if (c == u'&') {
        ++i;
        QChar p = next();
        int base = 0;
        if (p == u'h' || p == u'H')
            base = 16;
        else if (p == u'o' || p == u'O')
            base = 8;
        if (base == 0) return 0;
        ++i;
        unsigned long long v = 0;
        bool any = false;
        for (QChar d = next(); !d.isNull() && digitValue(d, base) >= 0; ++i, d = next()) {
            any = true;
            if (v <= 0xFFFFFFFFull)
                v = v * static_cast<unsigned>(base) + static_cast<unsigned>(digitValue(d, base));
        }
        if (!any) return 0;
        // As the language reads such literals: 16-bit values are signed 16-bit,
        // 32-bit values signed 32-bit.
        if (v <= 0xFFFF) return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(v)));
        if (v <= 0xFFFFFFFFull) return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)));
        return static_cast<double>(v);
    }

    if (c == u'+' || c == u'-') {
        buf.push_back(static_cast<char>(c.unicode()));
        ++i;
        c = next();
    }
    bool digits = false;
    while (!c.isNull() && c.unicode() >= u'0' && c.unicode() <= u'9') {
        buf.push_back(static_cast<char>(c.unicode()));
        digits = true;
        ++i;
        c = next();
    }
    if (c == u'.') {
        buf.push_back('.');
        ++i;
        c = next();
        while (!c.isNull() && c.unicode() >= u'0' && c.unicode() <= u'9') {
            buf.push_back(static_cast<char>(c.unicode()));
            digits = true;
            ++i;
            c = next();
        }
    }
    if (!digits) return 0;
    if (c == u'e' || c == u'E' || c == u'd' || c == u'D') {
        // The exponent counts only when digits follow it.
        const qsizetype save = i;
        std::string exp = "e";
        ++i;
        QChar e = next();
        if (e == u'+' || e == u'-') {
            exp.push_back(static_cast<char>(e.unicode()));
            ++i;
            e = next();
        }
        bool expDigits = false;
        while (!e.isNull() && e.unicode() >= u'0' && e.unicode() <= u'9') {
            exp.push_back(static_cast<char>(e.unicode()));
            expDigits = true;
            ++i;
            e = next();
        }
        if (expDigits)
            buf += exp;
        else
            i = save;
    }
    // from_chars ignores the C locale, which the application sets from the
    // environment (a Russian locale would stop strtod at the ".").
    const char* first = buf.c_str();
    if (*first == '+') ++first;
    double v = 0;
    const auto r = std::from_chars(first, buf.c_str() + buf.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large for a double: keep the sign so the caller sees an overflow.
        const bool neg = *first == '-';
        const auto exp = buf.find('e');
        const bool tiny = exp != std::string::npos && buf[exp + 1] == '-';
        if (tiny) return neg ? -0.0 : 0.0;
        return neg ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return v;
}

bool IsNumber(QStringView s)
{
    qsizetype i = 0;
    auto next = [&]() -> QChar {
        while (i < s.size() && isIgnored(s[i]))
            ++i;
        return i < s.size() ? s[i] : QChar();
    };
    auto digitsOf = [&](int base) {
        int n = 0;
        for (QChar d = next(); !d.isNull() && digitValue(d, base) >= 0; ++i, d = next())
            ++n;
        return n;
    };
    QChar c = next();
    if (c == u'&') {
        ++i;
        const QChar p = next();
        const int base = p == u'h' || p == u'H' ? 16 : p == u'o' || p == u'O' ? 8 : 0;
        if (base == 0) return false;
        ++i;
        return digitsOf(base) > 0 && next().isNull();
    }
    if (c == u'+' || c == u'-') ++i;
    int digits = digitsOf(10);
    if (next() == u'.') {
        ++i;
        digits += digitsOf(10);
    }
    if (digits == 0) return false;
    c = next();
    if (c == u'e' || c == u'E' || c == u'd' || c == u'D') {
        ++i;
        c = next();
        if (c == u'+' || c == u'-') ++i;
        if (digitsOf(10) == 0) return false;
    }
    return next().isNull();
}

double RoundHalfEven(double x)
{
    return std::nearbyint(x); // the default rounding mode takes halves to even
}

double RoundHalfEven(double x, int decimals)
{
    if (!std::isfinite(x)) return x;
    const double scale = std::pow(10.0, decimals);
    const double scaled = x * scale;
    if (!std::isfinite(scaled)) return x;
    // Decide the half by the decimal text, so that 0.15 (stored a hair below)
    // still counts as a half as the user reads it.
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, scaled, std::chars_format::scientific, 14).ptr;
    double cleaned = scaled;
    std::from_chars(buf, end, cleaned);
    return std::nearbyint(cleaned) / scale;
}

float ToSingle(double x)
{
    if (!FitsSingle(x)) [[unlikely]]
        throw VestranaError::overflow();
    return static_cast<float>(x);
}

namespace {

// Shortest %g form with at most `digits` significant digits, VB style exponent.
QString general(double x, int digits)
{
    if (x == 0) return QStringLiteral("0");
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, digits).ptr;
    QString s = QString::fromLatin1(buf, end - buf);
    const qsizetype e = s.indexOf(u'e');
    if (e >= 0) {
        QString mant = s.left(e);
        QString exp = s.mid(e + 1); // "+07", "-05", "+123"
        QChar sign = exp[0];
        exp.remove(0, 1);
        while (exp.size() > 2 && exp.startsWith(u'0'))
            exp.remove(0, 1);
        s = mant + u'E' + sign + exp;
    }
    return s;
}

} // namespace

QString SecondsText(int ms)
{
    return QString::number(ms / 1000.0, 'g', 6).replace(u'.', u',');
}

QString NumberText(double x, int digits)
{
    QString s = general(x, digits);
    if (s.startsWith(QLatin1String("0.")))
        s.remove(0, 1);
    else if (s.startsWith(QLatin1String("-0.")))
        s.remove(1, 1);
    if (!s.startsWith(u'-')) s.prepend(u' ');
    return s;
}

QString GeneralNumber(double x, int digits)
{
    return general(x, digits);
}

QStringView TrimmedView(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}

QString Trimmed(QStringView s)
{
    return TrimmedView(s).toString();
}

QString Folded(QStringView s)
{
    return Trimmed(s).toLower();
}

bool IsFileSafe(QStringView s)
{
    for (QChar c : s)
        if (c == u'|' || c == u'\r' || c == u'\n') return false;
    return true;
}

QString FileSafe(const QString& s)
{
    if (IsFileSafe(s)) return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'|') {
            out += QChar(0x00A6);
        } else if (c == u'\r') {
            out += u' ';
            if (i + 1 < s.size() && s[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            out += u' ';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace text

namespace {

// A letter's place in Russian alphabetical order, letter case aside: ё right
// after е, everything else by its lower-case code.
int alphabetic(QChar c)
{
    const char16_t u = text::LowerChar(c.unicode());
    if (u == u'ё') return (u'е' << 1) | 1;
    return u << 1;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Negative, zero or positive as a sorts before, with or after b.
int compareText(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            // Digit runs by value: leading zeros aside, the longer is larger.
            qsizetype ie = i, je = j;
            while (ie < a.size() && isAsciiDigit(a[ie]))
                ++ie;
            while (je < b.size() && isAsciiDigit(b[je]))
                ++je;
            qsizetype is = i, js = j;
            while (is + 1 < ie && a[is] == u'0')
                ++is;
            while (js + 1 < je && b[js] == u'0')
                ++js;
            if (ie - is != je - js) return ie - is < je - js ? -1 : 1;
            for (qsizetype x = 0; x < ie - is; ++x)
                if (a[is + x] != b[js + x]) return a[is + x] < b[js + x] ? -1 : 1;
            i = ie;
            j = je;
            continue;
        }
        const int x = alphabetic(a[i]), y = alphabetic(b[j]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j ? -1 : 1;
    // The same apart from letter case: a fixed order all the same.
    return a.compare(b);
}

} // namespace

QStringList text::SortedChoices(QStringList entries)
{
    struct Entry
    {
        QString text;
        bool number;
        double value;
    };
    std::vector<Entry> all;
    all.reserve(static_cast<size_t>(entries.size()));
    for (QString& e : entries) {
        if (TrimmedView(e).isEmpty()) continue;
        const bool number = IsNumber(e);
        const double value = number ? Val(e) : 0.0;
        all.push_back({std::move(e), number, value});
    }
    std::sort(all.begin(), all.end(), [](const Entry& x, const Entry& y) {
        if (x.number != y.number) return x.number;
        if (x.number && x.value != y.value) return x.value < y.value;
        return compareText(x.text, y.text) < 0;
    });
    QStringList out;
    out.reserve(static_cast<qsizetype>(all.size()));
    for (Entry& e : all)
        if (out.isEmpty() || out.last() != e.text) out.append(std::move(e.text));
    return out;
}

bool text::ContainsLowered(QStringView text, QStringView lowered)
{
    const qsizetype n = lowered.size();
    if (n == 0) return true;
    // The first letter is looked for in both cases with the fast character
    // search; only where it stands is the rest compared.
    const QChar lower = lowered[0];
    const QChar upper = lower.toUpper();
    qsizetype a = text.indexOf(lower);
    qsizetype b = upper != lower ? text.indexOf(upper) : -1;
    while (a >= 0 || b >= 0) {
        const bool fromLower = b < 0 || (a >= 0 && a < b);
        const qsizetype i = fromLower ? a : b;
        if (i + n > text.size()) return false;
        qsizetype j = 1;
        while (j < n && LowerChar(text[i + j].unicode()) == lowered[j].unicode())
            ++j;
        if (j == n) return true;
        if (fromLower)
            a = text.indexOf(lower, a + 1);
        else
            b = text.indexOf(upper, b + 1);
    }
    return false;
}

int text::EditDistance(QStringView a, QStringView b, int cap)
{
    if (std::abs(a.size() - b.size()) >= cap) return cap;
    std::vector<int> row(static_cast<size_t>(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        int best = row[0];
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const auto js = static_cast<size_t>(j);
            const bool same = a[i - 1].toCaseFolded() == b[j - 1].toCaseFolded();
            const int next = std::min({row[js] + 1, row[js - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = row[js];
            row[js] = next;
            best = std::min(best, next);
        }
        if (best >= cap) return cap;
    }
    return std::min(row.back(), cap);
}
