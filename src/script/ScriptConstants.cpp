// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

// The named constants (vbCrLf, vbMonday...) and the names a formula may not call.

namespace script {

namespace {

using Value = ScriptValue;

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

std::vector<std::string_view> constantNames()
{
    std::vector<std::string_view> v;
    for (const Constant& c : kConstants)
        v.push_back(c.name);
    return v;
}

} // namespace script
