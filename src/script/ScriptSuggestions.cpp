// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include "platform/Text.h"

#include <string_view>
#include <vector>

// Names close to a mistyped one: "did you mean".

namespace script {

namespace {

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

} // namespace

std::span<const std::string_view> knownNames()
{
    static const std::vector<std::string_view> all = [] {
        std::vector<std::string_view> v(std::begin(kFunctionNames), std::end(kFunctionNames));
        for (const std::string_view n : constantNames())
            v.push_back(n);
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
