// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// The built-in functions beyond arithmetic: texts, arrays, dates, formats,
// named constants, the refused functions and the size bounds.
#include "script/ScriptEngine.h"
#include "script/ScriptInternal.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The moment every formula of these tests sees: Sunday 15.03.2026 14:30:15.
ScriptEngine& Engine()
{
    static ScriptEngine engine = [] {
        ScriptEngine e;
        e.SetClock(QDateTime(QDate(2026, 3, 15), QTime(14, 30, 15)));
        return e;
    }();
    return engine;
}

// "Type:text", "Empty", "Null", "Variant():a|b" or "error N".
QString Outcome(const QString& expression)
{
    try {
        const ScriptValue v = Engine().Eval(expression);
        if (v.isEmpty() || v.isNull()) return v.typeName();
        if (v.isArray()) {
            QStringList items;
            for (const ScriptValue& item : v.arrayValue())
                items << item.toString();
            return v.typeName() + u':' + items.join(u'|');
        }
        return v.typeName() + u':' + v.toString();
    } catch (const ScriptError& e) {
        return QStringLiteral("error %1").arg(e.number());
    }
}

QString Message(const QString& expression, const QStringList& names = {})
{
    try {
        Engine().Eval(expression, names);
    } catch (const ScriptError& e) {
        return e.message();
    }
    return {};
}

void Row(const char* name, const QString& expression, const char* expected)
{
    QTest::newRow(name) << expression << QString::fromUtf8(expected);
}

} // namespace

class TestScriptLibrary : public QObject
{
    Q_OBJECT

    void check()
    {
        QFETCH(QString, expression);
        QFETCH(QString, expected);
        QCOMPARE(Outcome(expression), expected);
    }

    static void columns()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("expected");
    }

private Q_SLOTS:
    void characters_data()
    {
        columns();
        Row("Asc", u"Asc(\"Abc\")"_s, "Integer:65");
        Row("Asc of Cyrillic is its code page byte", u"Asc(\"Я\")"_s, "Integer:223");
        Row("Asc of empty", u"Asc(\"\")"_s, "error 5");
        Row("Asc of Null", u"Asc(Null)"_s, "error 94");
        Row("AscW", u"AscW(\"Я\")"_s, "Integer:1071");
        Row("AscB", u"AscB(\"A\")"_s, "Integer:65");
        Row("Chr", u"Chr(65)"_s, "String:A");
        Row("Chr of code page byte", u"Chr(223)"_s, "String:Я");
        Row("Chr rounds half to even", u"Chr(120.5)"_s, "String:x");
        Row("Chr out of range", u"Chr(256)"_s, "error 5");
        Row("ChrW", u"ChrW(1071)"_s, "String:Я");
        Row("ChrW negative wraps", u"AscW(ChrW(-1))"_s, "Integer:-1");
        Row("ChrW out of range", u"ChrW(65536)"_s, "error 5");
        Row("ChrB", u"ChrB(66)"_s, "String:B");
    }
    void characters() { check(); }

    void numbers_data()
    {
        columns();
        Row("Hex", u"Hex(255)"_s, "String:FF");
        Row("Hex of negative Integer is 16 bits", u"Hex(-1)"_s, "String:FFFF");
        Row("Hex of negative Long is 32 bits", u"Hex(-32769)"_s, "String:FFFF7FFF");
        Row("Hex of Null", u"Hex(Null)"_s, "Null");
        Row("Hex of Empty", u"Hex(Empty)"_s, "String:0");
        Row("Hex rounds", u"Hex(15.5)"_s, "String:10");
        Row("Hex of text", u"Hex(\"abc\")"_s, "error 13");
        Row("Oct", u"Oct(8)"_s, "String:10");
        Row("Oct of negative", u"Oct(-1)"_s, "String:177777");
        Row("CByte", u"CByte(2.5)"_s, "Byte:2");
        Row("CByte overflow", u"CByte(256)"_s, "error 6");
        Row("CByte negative", u"CByte(-1)"_s, "error 6");
        Row("CByte of True is its low byte", u"CByte(True)"_s, "Byte:255");
        Row("Byte plus Byte stays Byte", u"TypeName(CByte(1) + CByte(2))"_s, "String:Byte");
        Row("Byte sum beyond 255 is Integer", u"CByte(200) + CByte(100)"_s, "Integer:300");
        Row("CCur keeps four decimals", u"CCur(\"1234.56789\")"_s, "Currency:1234.5679");
        Row("CCur rounds half to even", u"CCur(0.00005)"_s, "Currency:0");
        Row("Currency sum is exact", u"CCur(0.1) + CCur(0.2) = CCur(0.3)"_s, "Boolean:True");
        Row("Currency times Integer", u"CCur(1.5) * 3"_s, "Currency:4.5");
        Row("Currency plus Double is Double", u"TypeName(CCur(1) + 0.5)"_s, "String:Double");
        Row("Currency product rounds", u"CCur(0.0001) * CCur(0.5)"_s, "Currency:0");
        Row("Currency negative", u"-CCur(2.25)"_s, "Currency:-2.25");
        Row("CCur overflow", u"CCur(1E+16)"_s, "error 6");
        Row("CCur of Null", u"CCur(Null)"_s, "error 94");
        Row("Atn", u"Round(Atn(1) * 4, 5)"_s, "Double:3.14159");
        Row("Cos", u"Cos(0)"_s, "Double:1");
        Row("Sin", u"Sin(0)"_s, "Double:0");
        Row("Tan", u"Round(Tan(1), 4)"_s, "Double:1.5574");
        Row("Sin of text", u"Sin(\"x\")"_s, "error 13");
        Row("RGB", u"RGB(1, 2, 3)"_s, "Long:197121");
        Row("RGB caps at 255", u"RGB(300, 0, 0)"_s, "Long:255");
        Row("RGB negative", u"RGB(-1, 0, 0)"_s, "error 5");
    }
    void numbers() { check(); }

    void texts_data()
    {
        columns();
        Row("Space", u"\"[\" & Space(3) & \"]\""_s, "String:[   ]");
        Row("Space negative", u"Space(-1)"_s, "error 5");
        Row("String of a character", u"String(3, \"xy\")"_s, "String:xxx");
        Row("String of a code", u"String(2, 65)"_s, "String:AA");
        Row("String of Null", u"String(2, Null)"_s, "Null");
        Row("String of empty text", u"String(2, \"\")"_s, "error 5");
        Row("StrReverse", u"StrReverse(\"абв\")"_s, "String:вба");
        Row("StrReverse of Null", u"StrReverse(Null)"_s, "error 94");
        Row("StrComp less", u"StrComp(\"a\", \"b\")"_s, "Integer:-1");
        Row("StrComp binary sees case", u"StrComp(\"A\", \"a\")"_s, "Integer:-1");
        Row("StrComp text ignores case", u"StrComp(\"Дом\", \"дом\", vbTextCompare)"_s, "Integer:0");
        Row("StrComp of Null", u"StrComp(Null, \"a\")"_s, "Null");
        Row("StrComp bad mode", u"StrComp(\"a\", \"b\", 5)"_s, "error 5");
        Row("InStrRev", u"InStrRev(\"abcabc\", \"bc\")"_s, "Long:5");
        Row("InStrRev from start", u"InStrRev(\"abcabc\", \"bc\", 4)"_s, "Long:2");
        Row("InStrRev text compare", u"InStrRev(\"ABCabc\", \"C\", -1, 1)"_s, "Long:6");
        Row("InStrRev start past end", u"InStrRev(\"abc\", \"c\", 9)"_s, "Long:0");
        Row("InStrRev of empty finds start", u"InStrRev(\"abc\", \"\")"_s, "Long:3");
        Row("InStrRev start 0", u"InStrRev(\"abc\", \"c\", 0)"_s, "error 5");
        Row("InStrRev of Null", u"InStrRev(Null, \"c\")"_s, "Null");
        Row("InStrB counts bytes", u"InStrB(\"abc\", \"c\")"_s, "Long:5");
        Row("LenB", u"LenB(\"abc\")"_s, "Long:6");
        Row("LenB of Null", u"LenB(Null)"_s, "Null");
        Row("LeftB", u"LeftB(\"abcd\", 4)"_s, "String:ab");
        Row("RightB", u"RightB(\"abcd\", 2)"_s, "String:d");
        Row("MidB", u"MidB(\"abcd\", 3, 4)"_s, "String:bc");
        Row("MidB start 0", u"MidB(\"abcd\", 0)"_s, "error 5");
        Row("Replace", u"Replace(\"a-b-c\", \"-\", \"+\")"_s, "String:a+b+c");
        Row("Replace starts the result at start", u"Replace(\"abcabc\", \"a\", \"x\", 3)"_s, "String:cxbc");
        Row("Replace count", u"Replace(\"aaa\", \"a\", \"b\", 1, 2)"_s, "String:bba");
        Row("Replace text compare", u"Replace(\"Дом дом\", \"ДОМ\", \"x\", 1, -1, 1)"_s, "String:x x");
        Row("Replace removes", u"Replace(\"1 500 000\", \" \", \"\")"_s, "String:1500000");
        Row("Replace of empty find", u"Replace(\"abc\", \"\", \"x\")"_s, "String:abc");
        Row("Replace start past end", u"Replace(\"abc\", \"a\", \"x\", 9)"_s, "String:");
        Row("Replace of Null", u"Replace(Null, \"a\", \"b\")"_s, "error 94");
        Row("Replace start 0", u"Replace(\"abc\", \"a\", \"b\", 0)"_s, "error 5");
        Row("Replace count below -1", u"Replace(\"abc\", \"a\", \"b\", 1, -2)"_s, "error 5");
        Row("Escape", u"Escape(\"a b/ц\")"_s, "String:a%20b/%u0446");
        Row("Unescape", u"Unescape(\"a%20b%u0446%zz\")"_s, "String:a bц%zz");
        Row("Escape of Null", u"Escape(Null)"_s, "Null");
    }
    void texts() { check(); }

    void arrays_data()
    {
        columns();
        Row("Split", u"Split(\"a,b,,c\", \",\")"_s, "Variant():a|b||c");
        Row("Split by blank by default", u"Split(\"a b\")"_s, "Variant():a|b");
        Row("Split with a count", u"Split(\"a,b,c\", \",\", 2)"_s, "Variant():a|b,c");
        Row("Split text compare", u"Split(\"aXbxc\", \"x\", -1, 1)"_s, "Variant():a|b|c");
        Row("Split of empty text", u"UBound(Split(\"\"))"_s, "Long:-1");
        Row("Split by empty delimiter", u"Split(\"ab\", \"\")"_s, "Variant():ab");
        Row("Split of Null", u"Split(Null)"_s, "error 94");
        Row("index of a call result", u"Split(\"ул. Садовая, д. 1\", \",\")(0)"_s, "String:ул. Садовая");
        Row("index rounds", u"Array(10, 20, 30)(1.5)"_s, "Integer:30");
        Row("index out of range", u"Split(\"a,b\", \",\")(2)"_s, "error 9");
        Row("negative index", u"Array(1)(-1)"_s, "error 9");
        Row("two indexes of a flat array", u"Array(1)(0, 0)"_s, "error 9");
        Row("index of a text", u"Len(\"abc\")(0)"_s, "error 13");
        Row("index of an index", u"Array(Array(1, 2), 3)(0)(1)"_s, "Integer:2");
        Row("Join", u"Join(Array(1, \"a\", True), \"-\")"_s, "String:1-a-True");
        Row("Join by blank by default", u"Join(Split(\"a,b\", \",\"))"_s, "String:a b");
        Row("Join of a text", u"Join(\"abc\")"_s, "error 13");
        Row("Filter", u"Filter(Array(\"дом\", \"сад\", \"домик\"), \"дом\")"_s, "Variant():дом|домик");
        Row("Filter excluding", u"Filter(Array(\"дом\", \"сад\"), \"дом\", False)"_s, "Variant():сад");
        Row("Filter text compare", u"Filter(Array(\"Дом\", \"сад\"), \"дом\", True, 1)"_s, "Variant():Дом");
        Row("Array of nothing", u"UBound(Array())"_s, "Long:-1");
        Row("UBound", u"UBound(Array(1, 2, 3))"_s, "Long:2");
        Row("LBound", u"LBound(Array(1, 2, 3))"_s, "Long:0");
        Row("UBound of second dimension", u"UBound(Array(1), 2)"_s, "error 9");
        Row("UBound of a number", u"UBound(5)"_s, "error 13");
        Row("array as a number", u"Array(1) + 1"_s, "error 13");
        Row("array as a text", u"Array(1) & \"\""_s, "error 13");
        Row("array compared", u"Array(1) = \"a\""_s, "error 13");
        Row("IsArray", u"IsArray(Split(\"a\"))"_s, "Boolean:True");
        Row("IsArray of a text", u"IsArray(\"a\")"_s, "Boolean:False");
    }
    void arrays() { check(); }

    void types_data()
    {
        columns();
        Row("IsNull", u"IsNull(Null)"_s, "Boolean:True");
        Row("IsNull of Empty", u"IsNull(Empty)"_s, "Boolean:False");
        Row("IsObject", u"IsObject(1)"_s, "Boolean:False");
        Row("IsNumeric of a date", u"IsNumeric(Now)"_s, "Boolean:False");
        Row("IsNumeric of Currency", u"IsNumeric(CCur(1))"_s, "Boolean:True");
        Row("IsDate of a day-first text", u"IsDate(\"01.02.2008\")"_s, "Boolean:True");
        Row("IsDate of an impossible day", u"IsDate(\"31.02.2008\")"_s, "Boolean:False");
        Row("IsDate of a number", u"IsDate(5)"_s, "Boolean:False");
        Row("IsDate of Null", u"IsDate(Null)"_s, "Boolean:False");
        Row("VarType Integer", u"VarType(1)"_s, "Integer:2");
        Row("VarType String", u"VarType(\"a\")"_s, "Integer:8");
        Row("VarType Date", u"VarType(Now)"_s, "Integer:7");
        Row("VarType Currency", u"VarType(CCur(1))"_s, "Integer:6");
        Row("VarType Byte", u"VarType(CByte(1))"_s, "Integer:17");
        Row("VarType array", u"VarType(Array())"_s, "Integer:8204");
        Row("VarType Null", u"VarType(Null)"_s, "Integer:1");
        Row("TypeName Double", u"TypeName(1.5)"_s, "String:Double");
        Row("TypeName array", u"TypeName(Array())"_s, "String:Variant()");
        Row("TypeName Empty", u"TypeName(Empty)"_s, "String:Empty");
        Row("wrong argument count", u"TypeName()"_s, "error 450");
    }
    void types() { check(); }

    void constants_data()
    {
        columns();
        Row("vbCrLf", u"Len(vbCrLf)"_s, "Long:2");
        Row("vbTab", u"AscW(vbTab)"_s, "Integer:9");
        Row("vbNullString", u"vbNullString"_s, "String:");
        Row("any case", u"VBTEXTCOMPARE"_s, "Integer:1");
        Row("vbSaturday", u"vbSaturday"_s, "Integer:7");
        Row("vbUseSystemDayOfWeek", u"vbUseSystemDayOfWeek"_s, "Integer:0");
        Row("vbFirstFourDays", u"vbFirstFourDays"_s, "Integer:2");
        Row("vbShortDate", u"vbShortDate"_s, "Integer:2");
        Row("vbArray", u"vbArray"_s, "Integer:8192");
        Row("vbTrue", u"vbTrue"_s, "Integer:-1");
        Row("vbUseDefault", u"vbUseDefault"_s, "Integer:-2");
        Row("vbWhite", u"vbWhite"_s, "Long:16777215");
        Row("vbObjectError", u"vbObjectError"_s, "Long:-2147221504");
        Row("a constant is no function", u"vbTab(1)"_s, "error 500");
    }
    void constants() { check(); }

    void dates_data()
    {
        columns();
        Row("day-first text", u"CDate(\"01.02.2008\")"_s, "Date:01.02.2008");
        Row("day-first text with time", u"CDate(\"1.2.2008 9:05\")"_s, "Date:01.02.2008 9:05:00");
        Row("two-digit year", u"Year(CDate(\"01.02.08\"))"_s, "Integer:2008");
        Row("two-digit year of last century", u"Year(CDate(\"01.02.75\"))"_s, "Integer:1975");
        Row("slashes read day first", u"Month(CDate(\"01/02/2008\"))"_s, "Integer:2");
        Row("ISO text", u"CDate(\"2008-02-01\")"_s, "Date:01.02.2008");
        Row("ISO text with time", u"CDate(\"2008-02-01T13:05:07\")"_s, "Date:01.02.2008 13:05:07");
        Row("time alone", u"CDate(\"13:05\")"_s, "Date:13:05:00");
        Row("not a date", u"CDate(\"вчера\")"_s, "error 13");
        Row("impossible day", u"CDate(\"30.02.2008\")"_s, "error 13");
        Row("impossible time", u"CDate(\"01.02.2008 24:00\")"_s, "error 13");
        Row("CDate of a number", u"CDate(36526)"_s, "Date:01.01.2000");
        Row("CDate of Null", u"CDate(Null)"_s, "error 94");
        Row("CDate beyond the range", u"CDate(1E+10)"_s, "error 6");
        Row("day number of a date", u"CSng(#2000-01-01#)"_s, "Single:36526");
        Row("date literal with time", u"#01.02.2008 13:05#"_s, "Date:01.02.2008 13:05:00");
        Row("bad date literal", u"#32.01.2008#"_s, "error 1002");
        Row("unclosed date literal", u"#01.02.2008"_s, "error 1002");
        Row("date before 1899", u"#31.12.1899 12:00#"_s, "Date:31.12.1899 12:00:00");
        Row("date as text", u"\"Дата: \" & #01.02.2008#"_s, "String:Дата: 01.02.2008");
        Row("date plus days is a date", u"#01.02.2008# + 29"_s, "Date:01.03.2008");
        Row("date minus date is days", u"#01.03.2008# - #01.02.2008#"_s, "Double:29");
        Row("dates compare", u"#01.03.2008# > #02.02.2008#"_s, "Boolean:True");
        Row("Date", u"Date"_s, "Date:15.03.2026");
        Row("Date with parentheses", u"Date()"_s, "Date:15.03.2026");
        Row("Time", u"Time"_s, "Date:14:30:15");
        Row("Now", u"Now"_s, "Date:15.03.2026 14:30:15");
        Row("Timer", u"Timer"_s, "Single:52215");
        Row("Date takes no argument", u"Date(1)"_s, "error 450");
        Row("Year", u"Year(\"01.02.2008\")"_s, "Integer:2008");
        Row("Month", u"Month(#01.02.2008#)"_s, "Integer:2");
        Row("Day", u"Day(#01.02.2008#)"_s, "Integer:1");
        Row("Hour", u"Hour(\"01.02.2008 13:05:07\")"_s, "Integer:13");
        Row("Minute", u"Minute(\"13:05:07\")"_s, "Integer:5");
        Row("Second", u"Second(\"13:05:07\")"_s, "Integer:7");
        Row("Year of Null", u"Year(Null)"_s, "Null");
        Row("Year of a word", u"Year(\"abc\")"_s, "error 13");
        Row("Weekday of a Friday", u"Weekday(#01.02.2008#)"_s, "Integer:6");
        Row("Weekday from Monday", u"Weekday(#01.02.2008#, vbMonday)"_s, "Integer:5");
        Row("Weekday system week starts Monday", u"Weekday(#04.02.2008#, 0)"_s, "Integer:1");
        Row("Weekday bad first day", u"Weekday(#01.02.2008#, 8)"_s, "error 5");
        Row("WeekdayName", u"WeekdayName(1)"_s, "String:воскресенье");
        Row("WeekdayName short from Monday", u"WeekdayName(1, True, vbMonday)"_s, "String:пн");
        Row("WeekdayName out of range", u"WeekdayName(8)"_s, "error 5");
        Row("MonthName", u"MonthName(2)"_s, "String:февраль");
        Row("MonthName short", u"MonthName(12, True)"_s, "String:дек");
        Row("MonthName out of range", u"MonthName(13)"_s, "error 5");
        Row("DateSerial", u"DateSerial(2008, 2, 1)"_s, "Date:01.02.2008");
        Row("DateSerial runs over months", u"DateSerial(2008, 14, 1)"_s, "Date:01.02.2009");
        Row("DateSerial day 0 is the last of the month before", u"DateSerial(2008, 3, 0)"_s,
            "Date:29.02.2008");
        Row("DateSerial two-digit year", u"DateSerial(8, 1, 1)"_s, "Date:01.01.2008");
        Row("DateSerial out of range", u"DateSerial(10000, 1, 1)"_s, "error 5");
        Row("DateSerial of Null", u"DateSerial(Null, 1, 1)"_s, "error 94");
        Row("DateSerial day beyond an Integer", u"DateSerial(2000, 1, 40000)"_s, "error 6");
        Row("DateSerial month beyond an Integer", u"DateSerial(2000, -32769, 1)"_s, "error 6");
        Row("TimeSerial", u"TimeSerial(13, 5, 7)"_s, "Date:13:05:07");
        Row("TimeSerial runs over", u"TimeSerial(0, 90, 0)"_s, "Date:1:30:00");
        Row("DateValue", u"DateValue(\"01.02.2008 13:05\")"_s, "Date:01.02.2008");
        Row("TimeValue", u"TimeValue(\"01.02.2008 13:05\")"_s, "Date:13:05:00");
        Row("DateAdd days", u"DateAdd(\"d\", 30, \"01.02.2008\")"_s, "Date:02.03.2008");
        Row("DateAdd month keeps the month's last day", u"DateAdd(\"m\", 1, #31.01.2008#)"_s,
            "Date:29.02.2008");
        Row("DateAdd years", u"DateAdd(\"yyyy\", -1, #29.02.2008#)"_s, "Date:28.02.2007");
        Row("DateAdd quarter", u"DateAdd(\"q\", 1, #15.11.2008#)"_s, "Date:15.02.2009");
        Row("DateAdd hours", u"DateAdd(\"h\", 25, #01.02.2008#)"_s, "Date:02.02.2008 1:00:00");
        Row("DateAdd weeks", u"DateAdd(\"ww\", 2, #01.02.2008#)"_s, "Date:15.02.2008");
        Row("DateAdd rounds the count", u"DateAdd(\"d\", 1.7, 0)"_s, "Date:01.01.1900");
        Row("DateAdd rounds halves to even", u"DateAdd(\"d\", 2.5, 0) = 2"_s, "Boolean:True");
        Row("DateAdd bad interval", u"DateAdd(\"x\", 1, #01.02.2008#)"_s, "error 5");
        Row("DateAdd beyond the range", u"DateAdd(\"yyyy\", 9000, #01.02.2008#)"_s, "error 5");
        Row("DateDiff days", u"DateDiff(\"d\", CDate(\"01.02.2008\"), Date)"_s, "Long:6617");
        Row("DateDiff counts calendar days", u"DateDiff(\"d\", \"01.02.2008 23:00\", \"02.02.2008 01:00\")"_s,
            "Long:1");
        Row("DateDiff months", u"DateDiff(\"m\", #31.01.2008#, #01.02.2008#)"_s, "Long:1");
        Row("DateDiff years", u"DateDiff(\"yyyy\", #31.12.2007#, #01.01.2008#)"_s, "Long:1");
        Row("DateDiff backwards", u"DateDiff(\"d\", #02.02.2008#, #01.02.2008#)"_s, "Long:-1");
        Row("DateDiff weeks", u"DateDiff(\"w\", #01.02.2008#, #14.02.2008#)"_s, "Long:1");
        Row("DateDiff calendar weeks", u"DateDiff(\"ww\", #02.02.2008#, #03.02.2008#)"_s, "Long:1");
        Row("DateDiff hours", u"DateDiff(\"h\", \"10:59\", \"11:00\")"_s, "Long:1");
        Row("DateDiff minutes", u"DateDiff(\"n\", #01.02.2008#, #02.02.2008#)"_s, "Long:1440");
        Row("DateDiff seconds overflow", u"DateDiff(\"s\", #01.01.100#, #31.12.9999#)"_s, "error 6");
        Row("DateDiff of Null", u"DateDiff(\"d\", Null, Date)"_s, "Null");
        Row("DatePart quarter", u"DatePart(\"q\", #01.05.2008#)"_s, "Integer:2");
        Row("DatePart day of year", u"DatePart(\"y\", #01.02.2008#)"_s, "Integer:32");
        Row("DatePart week from 1 January", u"DatePart(\"ww\", #06.01.2008#)"_s, "Integer:2");
        Row("DatePart first four-day week", u"DatePart(\"ww\", #01.01.2010#, vbMonday, vbFirstFourDays)"_s,
            "Integer:53");
        Row("DatePart first full week", u"DatePart(\"ww\", #07.01.2008#, vbMonday, vbFirstFullWeek)"_s,
            "Integer:1");
        Row("DatePart weekday", u"DatePart(\"w\", #01.02.2008#)"_s, "Integer:6");
        Row("DatePart hour", u"DatePart(\"h\", #01.02.2008 13:05#)"_s, "Integer:13");
        Row("FormatDateTime general", u"FormatDateTime(#01.02.2008 13:05#)"_s, "String:01.02.2008 13:05:00");
        Row("FormatDateTime long date", u"FormatDateTime(#01.02.2008#, vbLongDate)"_s,
            "String:1 февраля 2008 г.");
        Row("FormatDateTime short date", u"FormatDateTime(#01.02.2008 13:05#, vbShortDate)"_s,
            "String:01.02.2008");
        Row("FormatDateTime long time", u"FormatDateTime(#01.02.2008 9:05:07#, vbLongTime)"_s,
            "String:9:05:07");
        Row("FormatDateTime short time", u"FormatDateTime(#01.02.2008 9:05#, vbShortTime)"_s, "String:09:05");
        Row("FormatDateTime bad format", u"FormatDateTime(Now, 5)"_s, "error 5");
    }
    void dates() { check(); }

    void formats_data()
    {
        columns();
        Row("FormatNumber", u"FormatNumber(1234.567)"_s, "String:1 234.57");
        Row("FormatNumber groups by default", u"FormatNumber(1234.5)"_s, "String:1 234.50");
        Row("FormatNumber digits", u"FormatNumber(1234.5, 0)"_s, "String:1 235");
        Row("FormatNumber no digits grouped", u"FormatNumber(1234.6, 0)"_s, "String:1 235");
        Row("FormatNumber ungrouped when asked", u"FormatNumber(1234.5, 2, , , False)"_s, "String:1234.50");
        Row("FormatNumber short number has no group", u"FormatNumber(-123.4, 1)"_s, "String:-123.4");
        Row("FormatNumber grouped", u"FormatNumber(1234567.891, 2, , , True)"_s, "String:1 234 567.89");
        Row("FormatNumber no leading zero", u"FormatNumber(0.5, 1, False)"_s, "String:.5");
        Row("FormatNumber parentheses", u"FormatNumber(-2, 1, , True)"_s, "String:(2.0)");
        Row("FormatNumber negative", u"FormatNumber(-2.5, 1)"_s, "String:-2.5");
        Row("FormatNumber of a word", u"FormatNumber(\"x\")"_s, "error 13");
        Row("FormatNumber too many digits", u"FormatNumber(1, 300)"_s, "error 5");
        Row("FormatCurrency", u"FormatCurrency(3000)"_s, "String:3 000.00 ₽");
        Row("FormatPercent", u"FormatPercent(0.256, 1)"_s, "String:25.6%");
    }
    void formats() { check(); }

    void refused_data()
    {
        columns();
        for (const char* name : {"CreateObject(\"x\")", "GetObject(\"x\")", "Eval(\"1\")", "Execute(\"x\")",
                                 "ExecuteGlobal(\"x\")", "GetRef(\"x\")", "InputBox(\"x\")", "MsgBox(\"x\")",
                                 "LoadPicture(\"x\")", "SetLocale(1049)", "GetLocale()", "GetLocale",
                                 "Randomize", "Rnd", "Rnd(1)", "1 + rnd"})
            Row(name, QString::fromUtf8(name), "error 70");
    }
    void refused() { check(); }

    void refusedNamesTheFunction()
    {
        QCOMPARE(Message(u"CreateObject(\"WScript.Shell\")"_s),
                 u"Отказано в доступе: функция CreateObject не разрешена в формулах"_s);
    }

    void undefinedNameSuggests_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("message");
        QTest::newRow("attribute") << u"Цна * 2"_s
                                   << u"Переменная не определена: Цна. Возможно, имелось в виду «Цена»?"_s;
        QTest::newRow("function") << u"InStrr(\"a\", \"b\")"_s
                                  << u"Переменная не определена: InStrr. Возможно, имелось в виду «InStr»?"_s;
        QTest::newRow("constant")
            << u"vbCrlF2"_s << u"Переменная не определена: vbCrlF2. Возможно, имелось в виду «vbCrLf»?"_s;
        QTest::newRow("nothing close") << u"Этаж + 1"_s << u"Переменная не определена: Этаж"_s;
    }
    void undefinedNameSuggests()
    {
        QFETCH(QString, expression);
        QFETCH(QString, message);
        QCOMPARE(Message(expression, {u"Цена"_s, u"Район"_s}), message);
    }

    // Building a huge text or array fails at once, before anything is allocated.
    void sizeBounds_data()
    {
        columns();
        Row("String", u"String(1E9, \"x\")"_s, "error 14");
        Row("Space", u"Space(1E9)"_s, "error 14");
        Row("Space beyond Long", u"Space(1E10)"_s, "error 6");
        Row("joined texts", u"Len(Space(600000) & Space(600000))"_s, "error 14");
        Row("added texts", u"Len(Space(600000) + Space(600000))"_s, "error 14");
        Row("Replace growing", u"Len(Replace(Space(100000), \" \", \"xxxxxxxxxxxxxxxxxxxx\"))"_s, "error 14");
        Row("Split into too many items", u"UBound(Split(Space(100000), \" \"))"_s, "error 7");
        Row("Join growing", u"Len(Join(Array(Space(600000), Space(600000))))"_s, "error 14");
        Row("Escape growing", u"Len(Escape(String(300000, \"ж\")))"_s, "error 14");
        Row("just within", u"Len(Space(1048576))"_s, "Long:1048576");
        Row("many large texts together",
            u"UBound(Array("_s + QStringList(17, u"Space(1000000)"_s).join(u", ") + u"))"_s, "error 14");
        Row("many large arrays together",
            u"UBound(Array("_s + QStringList(5, u"Split(Space(65535))"_s).join(u", ") + u"))"_s, "error 7");
        Row("Split within", u"UBound(Split(Space(65535), \" \"))"_s, "Long:65535");
    }
    void sizeBounds() { check(); }

    // Needles built to defeat a naive search (a long run of one character with
    // one other at an end): each search reads every character a bounded number
    // of times, in both compare modes, and still finds what it should.
    void searchesReadEachCharacterBoundedTimes_data()
    {
        columns();
        Row("InStr, no match", u"InStr(Space(2^20), \"x\" & Space(2^19))"_s, "Long:0");
        Row("InStr, match at the end", u"InStr(Space(2^19) & \"x\", Space(2^18) & \"x\")"_s, "Long:262145");
        Row("InStr, text compare", u"InStr(1, String(2^19, \"я\") & \"Ж\", String(2^18, \"Я\") & \"ж\", 1)"_s,
            "Long:262145");
        Row("InStr from a start", u"InStr(5, Space(2^19) & \"x\", Space(9) & \"x\")"_s, "Long:524280");
        Row("InStrRev, no match", u"InStrRev(Space(2^20), \"x\" & Space(2^19))"_s, "Long:0");
        Row("InStrRev, match at the start", u"InStrRev(\"x\" & Space(2^19), \"x\" & Space(2^18))"_s,
            "Long:1");
        Row("InStrRev, text compare from a start",
            u"InStrRev(\"Ж\" & String(2^19, \"я\"), \"ж\" & String(2^18, \"Я\"), 2^18 + 1, 1)"_s, "Long:1");
        Row("InStrB", u"InStrB(Space(2^19) & \"x\", Space(2^18) & \"x\")"_s, "Long:524289");
        Row("Replace", u"Len(Replace(Space(2^20), Space(2^19) & \"x\", \"y\"))"_s, "Long:1048576");
        Row("Replace, matches",
            u"Replace(\"aab\" & Space(2^19) & \"aab\", \"ab\", \"\") = \"a\" & Space(2^19) & \"a\""_s,
            "Boolean:True");
        Row("Split", u"UBound(Split(Space(2^18) & \"x\" & Space(2^18), Space(2^17) & \"x\"))"_s, "Long:1");
        Row("Filter, text compare",
            u"UBound(Filter(Array(Space(2^19), Space(2^18) & \"X\"), Space(2^18) & \"x\", True, 1))"_s,
            "Long:0");
    }
    void searchesReadEachCharacterBoundedTimes()
    {
        check();
        // The bound is what a linear search costs: a few times the text built.
        QVERIFY2(script::spent().work < 8 * script::spent().text + 4096,
                 qPrintable(QStringLiteral("%1 for %2").arg(script::spent().work).arg(script::spent().text)));
    }

    // Work that no one search exceeds, spread over many, still ends: past the
    // evaluation's budget it fails with its own message; half of it passes.
    void workBudgetStopsAnEvaluation()
    {
        const QString search = u"InStr(1, Space(2^20), \"x\", 1)"_s;
        QCOMPARE(Outcome(QStringList(4, search).join(u" + ")), u"Long:0"_s);
        const QString tooMuch = QStringList(12, search).join(u" + ");
        QCOMPARE(Outcome(tooMuch), u"error 18"_s);
        QCOMPARE(Message(tooMuch), u"Слишком долгое вычисление"_s);
    }

    void clockIsFixedPerEngine()
    {
        ScriptEngine e;
        const QDateTime moment(QDate(2008, 2, 1), QTime(23, 59, 59));
        e.SetClock(moment);
        QCOMPARE(e.Clock(), moment);
        e.ReadClock(); // a run reads the clock again: a fixed one stays
        QCOMPARE(e.Clock(), moment);
        QCOMPARE(e.Eval(u"Now").toString(), u"01.02.2008 23:59:59"_s);
        QCOMPARE(e.EvalSingle(u"DateDiff(\"d\", \"01.01.2008\", Date)"), 31.0f);
    }
};

QTEST_GUILESS_MAIN(TestScriptLibrary)
#include "tst_scriptlibrary.moc"
