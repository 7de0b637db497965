// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The text functions beyond the core ones: Space, String, StrComp, InStrRev,
// Replace, Split, Join, Filter, the B forms, Escape and Unescape.

namespace script {

namespace {

using Value = ScriptValue;

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

// clang-format off
constexpr FnInfo kTexts[] = {
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
    {"escape", Fn::Abs, 1, 1, fnEscape},
    {"unescape", Fn::Abs, 1, 1, fnUnescape},
};
// clang-format on

} // namespace

std::span<const FnInfo> textFunctions()
{
    return kTexts;
}

} // namespace script
