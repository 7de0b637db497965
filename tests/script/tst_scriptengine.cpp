// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptEngine.h"

#include <QTest>

#include <cfloat>

using namespace Qt::StringLiterals;

namespace {

// "Type:text", "Empty", "Null", or "error N": type and value in one comparable text.
QString Outcome(const QString& expression)
{
    try {
        const ScriptValue v = ScriptEngine().Eval(expression);
        if (v.isEmpty() || v.isNull()) return v.typeName();
        return v.typeName() + u':' + v.toString();
    } catch (const ScriptError& e) {
        return QStringLiteral("error %1").arg(e.number());
    }
}

int ErrorNumber(const QString& expression)
{
    try {
        ScriptEngine().Eval(expression);
    } catch (const ScriptError& e) {
        return e.number();
    }
    return 0;
}

void AddColumns()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");
}

void Row(const char* name, const QString& expression, const char* expected)
{
    QTest::newRow(name) << expression << QString::fromUtf8(expected);
}

} // namespace

class TestScriptEngine : public QObject
{
    Q_OBJECT

    void check()
    {
        QFETCH(QString, expression);
        QFETCH(QString, expected);
        QCOMPARE(Outcome(expression), expected);
    }

private Q_SLOTS:
    void literals_data()
    {
        AddColumns();
        Row("small whole is Integer", u"32767"_s, "Integer:32767");
        Row("beyond 16 bits is Long", u"32768"_s, "Long:32768");
        Row("largest Long", u"2147483647"_s, "Long:2147483647");
        Row("beyond 32 bits is Double", u"2147483648"_s, "Double:2147483648");
        Row("point makes Double", u"0.0"_s, "Double:0");
        Row("exponent makes Double", u"1e2"_s, "Double:100");
        Row("leading zero is not octal", u"010"_s, "Integer:10");
        Row("fraction without whole part", u".5"_s, "Double:0.5");
        Row("point without fraction", u"10."_s, "Double:10");
        Row("exponent after fraction", u".5e1"_s, "Double:5");
        Row("signed exponent", u"34E+5"_s, "Double:3400000");
        Row("negative exponent", u"56.789e-2"_s, "Double:0.56789");
        Row("D exponent", u"1D2"_s, "Double:100");
        Row("underflow is zero", u"1e-94938484"_s, "Double:0");
        Row("many digits", u"123456789012345678901234567890"_s, "Double:1.23456789012346E+29");
        Row("beyond Double", u"1e400"_s, "error 1031");
        Row("hex 16-bit is signed", u"&HFFFF"_s, "Integer:-1");
        Row("hex smallest Integer", u"&H8000"_s, "Integer:-32768");
        Row("hex beyond 16 bits", u"&H10000"_s, "Long:65536");
        Row("hex 32-bit is signed", u"&HFFFFFFFF"_s, "Long:-1");
        Row("hex with & keeps 32 bits", u"&HFFFF&"_s, "Long:65535");
        Row("hex with & negative", u"&HFFFFFFFE&"_s, "Long:-2");
        Row("hex lower case", u"&hff"_s, "Integer:255");
        Row("hex then Or without blanks", u"&H01Or&H02"_s, "Integer:3");
        Row("hex beyond 32 bits", u"&H123456789"_s, "error 1031");
        Row("octal", u"&O10"_s, "Integer:8");
        Row("octal 16-bit is signed", u"&O177777"_s, "Integer:-1");
        Row("octal with &", u"&O17&"_s, "Long:15");
        Row("doubled quote", u"\"a\"\"b\""_s, "String:a\"b");
        Row("empty string", u"\"\""_s, "String:");
        Row("keywords in any case", u"TRUE"_s, "Boolean:True");
        Row("False", u"false"_s, "Boolean:False");
        Row("Empty", u"Empty"_s, "Empty");
        Row("Null", u"NULL"_s, "Null");
    }
    void literals() { check(); }

    void operators_data()
    {
        AddColumns();
        Row("formula sum", u"1+2+3"_s, "Integer:6");
        Row("formula division", u"1500/50"_s, "Double:30");
        Row("formula with decimals", u"1500/54.5*100"_s, "Double:2752.29357798165");
        Row("formula greater", u"1500>1000"_s, "Boolean:True");
        Row("formula not greater", u"900>1000"_s, "Boolean:False");
        Row("sign before power", u"-3^2"_s, "Double:9");
        Row("sign before power 2", u"-2^2"_s, "Double:4");
        Row("sign in exponent", u"2^-1"_s, "Double:0.5");
        Row("power is left-assoc", u"2^3^2"_s, "Double:64");
        Row("power before product", u"2*3^2"_s, "Double:18");
        Row("product left to right", u"10/4*2"_s, "Double:5");
        Row("int division below division", u"5\\4/2"_s, "Long:2");
        Row("division before int division", u"12/3\\2"_s, "Long:2");
        Row("int division below product", u"7 \\ 2 * 2"_s, "Integer:1");
        Row("Mod below product", u"7 Mod 3 * 2"_s, "Integer:1");
        Row("Mod above sum", u"7 Mod 4+2"_s, "Integer:5");
        Row("sum below int division", u"2+3\\4"_s, "Integer:2");
        Row("concat below sum", u"1+2 & 3"_s, "String:33");
        Row("concat below sum right", u"1 & 2+3"_s, "String:15");
        Row("comparisons left-assoc", u"1 = 1 < 0"_s, "Boolean:True");
        Row("chained greater", u"3 > 2 > 1"_s, "Boolean:False");
        Row("Not below comparison", u"Not 1 = 2"_s, "Boolean:True");
        Row("Not below sum", u"Not 5 + 1"_s, "Integer:-7");
        Row("Not above And", u"Not False And False"_s, "Boolean:False");
        Row("And above Or", u"True Or False And False"_s, "Boolean:True");
        Row("Or above Xor", u"True Xor False Or True"_s, "Boolean:False");
        Row("Imp loosest", u"False Imp True Eqv False"_s, "Boolean:True");
        Row("parentheses", u"(1+2)*3"_s, "Integer:9");
        Row("double minus", u"--1"_s, "Integer:1");
        Row("stacked signs", u"+--+-+1"_s, "Integer:-1");
        Row("minus minus between", u"1 -- 2"_s, "Integer:3");
        Row("plus keeps String", u"+\"true\""_s, "String:true");
        Row("operator words any case", u"7 MOD 3"_s, "Integer:1");
        Row("legacy >=", u"2 => 1"_s, "Boolean:True");
        Row("legacy <=", u"1 =< 2"_s, "Boolean:True");
        Row("legacy <>", u"2 >< 1"_s, "Boolean:True");
    }
    void operators() { check(); }

    void arithmetic_data()
    {
        AddColumns();
        Row("Integer overflows to Long", u"32767+1"_s, "Long:32768");
        Row("Long overflows to Double", u"2147483647+1"_s, "Double:2147483648");
        Row("Long product to Double", u"65536*65536"_s, "Double:4294967296");
        Row("Integer product to Long", u"200*200"_s, "Long:40000");
        Row("Long difference to Double", u"-2147483647 - 2"_s, "Double:-2147483649");
        Row("negated smallest Integer", u"-&H8000"_s, "Long:32768");
        Row("Boolean sum", u"True + True"_s, "Integer:-2");
        Row("number plus Boolean", u"1 + True"_s, "Integer:0");
        Row("Empty is zero", u"Empty + 1"_s, "Integer:1");
        Row("Null propagates", u"Null + 1"_s, "Null");
        Row("beyond Double", u"1E+308*10"_s, "error 6");
        Row("Doubles are not exact", u"0.1 + 0.2 = 0.3"_s, "Boolean:False");
        Row("fifteen digits", u"1/3"_s, "Double:0.333333333333333");
        Row("strings join", u"\"1\"+\"2\""_s, "String:12");
        Row("string plus number adds", u"\"12\"+3"_s, "Double:15");
        Row("strings join then add", u"\"1\"+\"2\"+3"_s, "Double:15");
        Row("number then strings add", u"1+\"2\"+\"3\""_s, "Double:6");
        Row("Empty plus string joins", u"Empty + \"a\""_s, "String:a");
        Row("word plus number", u"\"abc\"+1"_s, "error 13");
        Row("empty string plus number", u"\"\"+1"_s, "error 13");
        Row("strings multiply", u"\"3\"*\"4\""_s, "Double:12");
        Row("negated string", u"-\"3\""_s, "Double:-3");
        Row("division by zero", u"1500/0"_s, "error 11");
        Row("zero by zero", u"0/0"_s, "error 6");
        Row("int division rounds operands", u"4.6\\1.5"_s, "Long:2");
        Row("int division rounds divisor down", u"4.6\\1.49"_s, "Long:5");
        Row("int division half to even up", u"7.5\\2"_s, "Long:4");
        Row("int division half to even down", u"6.5\\2"_s, "Long:3");
        Row("int division truncates", u"-7\\2"_s, "Integer:-3");
        Row("int division by rounded zero", u"5\\0.4"_s, "error 11");
        Row("int division leaves Integer", u"&H8000 \\ -1"_s, "Long:32768");
        Row("int division beyond Long", u"&H80000000 \\ -1"_s, "error 6");
        Row("Mod sign of dividend", u"-10 Mod 3"_s, "Integer:-1");
        Row("Mod negative divisor", u"10 Mod -3"_s, "Integer:1");
        Row("Mod rounds operands", u"11.6 Mod 5.5"_s, "Long:0");
        Row("Mod rounds divisor", u"19 Mod 6.7"_s, "Long:5");
        Row("Mod by zero", u"1 Mod 0"_s, "error 11");
        Row("zero to the zero", u"0^0"_s, "Double:1");
        Row("root of negative", u"(-8)^(1/3)"_s, "error 5");
        Row("zero to negative power", u"0^-1"_s, "error 5");
        Row("concat number", u"1.5 & 2"_s, "String:1.52");
        Row("concat Null side", u"Null & \"a\""_s, "String:a");
        Row("concat two Nulls", u"Null & Null"_s, "Null");
        Row("concat Empty and Boolean", u"Empty & True"_s, "String:True");
    }
    void arithmetic() { check(); }

    void logicAndComparison_data()
    {
        AddColumns();
        Row("bitwise And", u"12 And 10"_s, "Integer:8");
        Row("bitwise Not", u"Not 1"_s, "Integer:-2");
        Row("Not rounds Double", u"Not 2.5"_s, "Long:-3");
        Row("And rounds Double", u"6 And 3.5"_s, "Long:4");
        Row("bitwise Eqv", u"5 Eqv 3"_s, "Integer:-7");
        Row("bitwise Imp", u"5 Imp 3"_s, "Integer:-5");
        Row("Boolean And number", u"True And 5"_s, "Integer:5");
        Row("Not Boolean", u"Not True"_s, "Boolean:False");
        Row("no short circuit", u"False And 1/0"_s, "error 11");
        Row("Null Or True", u"Null Or True"_s, "Boolean:True");
        Row("False Imp Null", u"False Imp Null"_s, "Boolean:True");
        Row("Null And True", u"Null And True"_s, "Null");
        Row("Null Or False", u"Null Or False"_s, "Null");
        Row("Null And False", u"Null And False"_s, "Boolean:False");
        Row("Null Xor", u"Null Xor True"_s, "Null");
        Row("Not Null", u"Not Null"_s, "Null");
        Row("compare with Null", u"1 < Null"_s, "Null");
        Row("Null equals Null", u"Null = Null"_s, "Null");
        Row("False above True", u"False > True"_s, "Boolean:True");
        Row("zero above True", u"0 > True"_s, "Boolean:True");
        Row("True below 2", u"True >= 2"_s, "Boolean:False");
        Row("Empty equals empty string", u"\"\" = Empty"_s, "Boolean:True");
        Row("Empty equals zero", u"Empty = 0"_s, "Boolean:True");
        Row("strings case-sensitive", u"\"a\" = \"A\""_s, "Boolean:False");
        Row("strings by characters", u"\"10\" < \"9\""_s, "Boolean:True");
        Row("longer string is greater", u"\"abc\" < \"ab\""_s, "Boolean:False");
        Row("capitals before small letters", u"\"B\" < \"a\""_s, "Boolean:True");
        Row("Cyrillic by code", u"\"Я\" < \"а\""_s, "Boolean:True");
        Row("number not equal to its text", u"\"1\" = 1"_s, "Boolean:False");
        Row("number below any text", u"\"5\" > 10"_s, "Boolean:True");
        Row("mixed widths compare", u"1 = 1.0"_s, "Boolean:True");
    }
    void logicAndComparison() { check(); }

    void functions_data()
    {
        AddColumns();
        Row("name in any case", u"aBs(-1)"_s, "Integer:1");
        Row("blank before parenthesis", u"Abs (-1)"_s, "Integer:1");
        Row("Abs Null", u"Abs(Null)"_s, "Null");
        Row("Abs Empty", u"Abs(Empty)"_s, "Integer:0");
        Row("Abs string", u"Abs(\"-1\")"_s, "Double:1");
        Row("Abs True", u"Abs(True)"_s, "Integer:1");
        Row("Abs Long", u"Abs(-32769)"_s, "Long:32769");
        Row("Abs word", u"Abs(\"x\")"_s, "error 13");
        Row("no arguments", u"Abs()"_s, "error 450");
        Row("too many arguments", u"Abs(1,2)"_s, "error 450");
        Row("function without parentheses", u"Len"_s, "error 450");
        Row("Sgn", u"Sgn(-5.5)"_s, "Integer:-1");
        Row("Sgn True", u"Sgn(True)"_s, "Integer:-1");
        Row("Sgn Null", u"Sgn(Null)"_s, "error 94");
        Row("Sqr", u"Sqr(16)"_s, "Double:4");
        Row("Sqr negative", u"Sqr(-2)"_s, "error 5");
        Row("Sqr True", u"Sqr(True)"_s, "error 5");
        Row("Sqr Empty", u"Sqr(Empty)"_s, "Double:0");
        Row("Exp", u"Exp(0)"_s, "Double:1");
        Row("Exp overflow", u"Exp(1000)"_s, "error 6");
        Row("Log", u"Log(1)"_s, "Double:0");
        Row("Log zero", u"Log(0)"_s, "error 5");
        Row("Log True", u"Log(True)"_s, "error 5");
        Row("Int floors", u"Int(-1.99)"_s, "Double:-2");
        Row("Fix truncates", u"Fix(-1.99)"_s, "Double:-1");
        Row("Int of half", u"Int(-2.5)"_s, "Double:-3");
        Row("Int True", u"Int(True)"_s, "Integer:-1");
        Row("Round half to even down", u"Round(2.5)"_s, "Double:2");
        Row("Round half to even up", u"Round(3.5)"_s, "Double:4");
        Row("Round half to zero", u"Round(0.5)"_s, "Double:0");
        Row("Round places", u"Round(3.3, 1)"_s, "Double:3.3");
        Row("Round places half to even", u"Round(1.25, 1)"_s, "Double:1.2");
        Row("Round keeps Integer", u"Round(7)"_s, "Integer:7");
        Row("Round keeps Boolean", u"Round(True)"_s, "Boolean:True");
        Row("Round negative places", u"Round(1, -1)"_s, "error 5");
        Row("CInt half to even", u"CInt(2.5)"_s, "Integer:2");
        Row("CInt negative half", u"CInt(-36.5)"_s, "Integer:-36");
        Row("CInt negative", u"CInt(-36.75)"_s, "Integer:-37");
        Row("CInt overflow", u"CInt(32767.5)"_s, "error 6");
        Row("CInt lowest", u"CInt(-32768.5)"_s, "Integer:-32768");
        Row("CLng overflow", u"CLng(2147483648)"_s, "error 6");
        Row("CLng string", u"CLng(\"12\")"_s, "Long:12");
        Row("CSng rounds", u"CSng(16777217)"_s, "Single:1.677722E+07");
        Row("CSng third", u"CSng(1/3)"_s, "Single:0.3333333");
        Row("CSng overflow", u"CSng(1E+39)"_s, "error 6");
        Row("Single times Integer", u"CSng(1.5) * 2"_s, "Single:3");
        Row("Single times Long", u"CSng(1.5) * 40000"_s, "Double:60000");
        Row("CDbl blanks", u"CDbl(\" 12 \")"_s, "Double:12");
        Row("CDbl hex text", u"CDbl(\"&H10\")"_s, "Double:16");
        Row("CDbl signed fraction", u"CDbl(\"-.5\")"_s, "Double:-0.5");
        Row("CDbl point at end", u"CDbl(\"5.\")"_s, "Double:5");
        Row("CDbl exponent", u"CDbl(\"1e3\")"_s, "Double:1000");
        Row("CDbl word", u"CDbl(\"abc\")"_s, "error 13");
        Row("CDbl True text", u"CDbl(\"True\")"_s, "error 13");
        Row("CDbl C hex", u"CDbl(\"0x10\")"_s, "error 13");
        Row("CDbl two numbers", u"CDbl(\"1 2\")"_s, "error 13");
        Row("CDbl comma", u"CDbl(\"1,5\")"_s, "error 13");
        Row("CDbl empty", u"CDbl(\"\")"_s, "error 13");
        Row("CDbl Null", u"CDbl(Null)"_s, "error 94");
        Row("CStr True", u"CStr(True)"_s, "String:True");
        Row("CStr fraction", u"CStr(0.5)"_s, "String:0.5");
        Row("CStr large", u"CStr(1E+20)"_s, "String:1E+20");
        Row("CStr small", u"CStr(0.00001)"_s, "String:1E-05");
        Row("CStr Null", u"CStr(Null)"_s, "error 94");
        Row("CBool text", u"CBool(\"true\")"_s, "Boolean:True");
        Row("CBool zero", u"CBool(0)"_s, "Boolean:False");
        Row("CBool word", u"CBool(\"x\")"_s, "error 13");
        Row("Len of number", u"Len(1234)"_s, "Long:4");
        Row("Len Empty", u"Len(Empty)"_s, "Long:0");
        Row("Len Null", u"Len(Null)"_s, "Null");
        Row("Len Cyrillic", u"Len(\"Привет\")"_s, "Long:6");
        Row("Left half count down", u"Left(\"123456\", 2.5)"_s, "String:12");
        Row("Left half count up", u"Left(\"123456\", 1.5)"_s, "String:12");
        Row("Left beyond end", u"Left(\"abc\", 10)"_s, "String:abc");
        Row("Left negative", u"Left(\"abc\", -1)"_s, "error 5");
        Row("Left Null", u"Left(Null, 1)"_s, "Null");
        Row("Right", u"Right(\"abcdef\", 2)"_s, "String:ef");
        Row("Mid", u"Mid(\"abcdef\", 2, 3)"_s, "String:bcd");
        Row("Mid to end", u"Mid(\"abcdef\", 3)"_s, "String:cdef");
        Row("Mid start zero", u"Mid(\"x\", 0, 1)"_s, "error 5");
        Row("Mid negative length", u"Mid(\"abc\", 1, -1)"_s, "error 5");
        Row("Mid past end", u"Mid(\"test\", 5, 2)"_s, "String:");
        Row("InStr", u"InStr(\"abcd\", \"bc\")"_s, "Long:2");
        Row("InStr start rounds", u"InStr(2.6, \"abcd\", \"bc\")"_s, "Long:0");
        Row("InStr absent", u"InStr(\"abcd\", \"x\")"_s, "Long:0");
        Row("InStr text compare", u"InStr(1, \"ABCD\", \"bc\", 1)"_s, "Long:2");
        Row("InStr binary compare", u"InStr(1, \"ABCD\", \"bc\", 0)"_s, "Long:0");
        Row("InStr Null", u"InStr(Null, \"a\")"_s, "Null");
        Row("InStr start zero", u"InStr(0, \"a\", \"a\")"_s, "error 5");
        Row("LCase Cyrillic", u"LCase(\"ПРИВЕТ World\")"_s, "String:привет world");
        Row("UCase Cyrillic", u"UCase(\"ёж\")"_s, "String:ЁЖ");
        Row("UCase Null", u"UCase(Null)"_s, "Null");
        Row("LCase number", u"LCase(12.5)"_s, "String:12.5");
        Row("Trim", u"Trim(\"  a b  \")"_s, "String:a b");
        Row("LTrim", u"LTrim(\"  a \")"_s, "String:a ");
        Row("RTrim", u"RTrim(\"  a \")"_s, "String:  a");
        Row("IsNumeric Empty", u"IsNumeric(Empty)"_s, "Boolean:True");
        Row("IsNumeric True", u"IsNumeric(True)"_s, "Boolean:True");
        Row("IsNumeric text", u"IsNumeric(\"44\")"_s, "Boolean:True");
        Row("IsNumeric Null", u"IsNumeric(Null)"_s, "Boolean:False");
        Row("IsNumeric word", u"IsNumeric(\"rwrf\")"_s, "Boolean:False");
        Row("IsNumeric empty text", u"IsNumeric(\"\")"_s, "Boolean:False");
        Row("IsEmpty", u"IsEmpty(Empty)"_s, "Boolean:True");
        Row("IsEmpty zero", u"IsEmpty(0)"_s, "Boolean:False");
    }
    void functions() { check(); }

    void errors_data()
    {
        AddColumns();
        Row("empty text", QString(), "error 1002");
        Row("blank text", u"   "_s, "error 1002");
        Row("operator first", u"/50"_s, "error 1002");
        Row("operand missing", u"1 +"_s, "error 1002");
        Row("left-out argument still counts", u"Abs(, 1)"_s, "error 450");
        Row("Not after comparison", u"1 = Not 2"_s, "error 1002");
        Row("Not after sum", u"1 + Not 2"_s, "error 1002");
        Row("parenthesis not closed", u"(1+2"_s, "error 1006");
        Row("call not closed", u"Abs(1"_s, "error 1006");
        Row("two numbers", u"1 2"_s, "error 1025");
        Row("extra parenthesis", u"1)"_s, "error 1025");
        Row("second point", u"1.2.3"_s, "error 1025");
        Row("unknown character", u"1 @ 2"_s, "error 1032");
        Row("date literal, day first", u"#2/1/2011#"_s, "Date:02.01.2011");
        Row("line break", u"1 +\n2"_s, "error 1032");
        Row("unterminated string", u"\"abc"_s, "error 1033");
        Row("undefined name", u"x"_s, "error 500");
        Row("undefined Cyrillic name", u"цена * 2"_s, "error 500");
        Row("IIf does not exist", u"IIf(True, 1, 2)"_s, "error 500");
        Row("Eval is refused", u"Eval(\"1\")"_s, "error 70");
        Row("Nothing", u"Nothing"_s, "error 91");
        Row("Is needs objects", u"42 Is 42"_s, "error 424");
        Row("syntax error wins over division", u"1/0)"_s, "error 1025");
        Row("syntax error wins over undefined", u"x +"_s, "error 1002");
    }
    void errors() { check(); }

    void undefinedNameIsInReason()
    {
        try {
            ScriptEngine().Eval(u"2 * Цена");
            QFAIL("no error");
        } catch (const ScriptError& e) {
            QCOMPARE(e.kind(), VestranaError::Kind::Script);
            QVERIFY(e.message().contains(u"Цена"));
        }
    }

    // Reading alone: what evaluating would refuse for the writing or a name is
    // found with its place; what only values decide is not.
    void checkWithoutEvaluating_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("expected"); // "number@position", or "" when it reads
        QTest::newRow("division by zero") << u"1/0"_s << QString();
        QTest::newRow("type mismatch") << u"\"a\" * 2"_s << QString();
        QTest::newRow("constant and function without parentheses") << u"vbCrLf & Date"_s << QString();
        QTest::newRow("indexed call") << u"Split(\"a,b\", \",\")(1)"_s << QString();
        QTest::newRow("operand missing at the end") << u"1 +"_s << u"1002@3"_s;
        QTest::newRow("Not after comparison") << u"1 = Not 2"_s << u"1002@4"_s;
        QTest::newRow("parenthesis not closed") << u"(1+2"_s << u"1006@4"_s;
        QTest::newRow("two numbers") << u"1 2"_s << u"1025@2"_s;
        QTest::newRow("unknown character") << u"1 @ 2"_s << u"1032@2"_s;
        QTest::newRow("unterminated string") << u"1 & \"abc"_s << u"1033@4"_s;
        QTest::newRow("undefined name") << u"2 * x"_s << u"500@4"_s;
        QTest::newRow("undefined function") << u"1 + IIf(1, 2, 3)"_s << u"500@4"_s;
        QTest::newRow("too few arguments") << u"Left(\"a\")"_s << u"450@0"_s;
        QTest::newRow("function needing arguments, bare") << u"1 + Abs"_s << u"450@4"_s;
        QTest::newRow("refused") << u"Eval(1)"_s << u"70@0"_s;
        QTest::newRow("syntax error wins over a name") << u"x + (1"_s << u"1006@6"_s;
    }
    void checkWithoutEvaluating()
    {
        QFETCH(QString, expression);
        QFETCH(QString, expected);
        const std::optional<ScriptProblem> p = ScriptEngine().Check(expression, {});
        QCOMPARE(p ? u"%1@%2"_s.arg(p->number).arg(p->position) : QString(), expected);
        if (p) {
            QCOMPARE(p->syntax, p->number >= 1000);
            QVERIFY(!p->reason.isEmpty());
        }
    }

    void evalSingle_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<float>("expected");
        QTest::addColumn<int>("error");
        QTest::newRow("rounds to single") << u"16777217"_s << 16777216.0f << 0;
        QTest::newRow("third") << u"1/3"_s << 1.0f / 3.0f << 0;
        QTest::newRow("largest single") << u"3.4028235E+38"_s << FLT_MAX << 0;
        QTest::newRow("beyond single") << u"1E+39"_s << 0.0f << 6;
        QTest::newRow("text beyond single") << u"\"1e39\""_s << 0.0f << 6;
        QTest::newRow("Null") << u"Null"_s << 0.0f << 94;
        QTest::newRow("True") << u"True"_s << -1.0f << 0;
        QTest::newRow("Empty") << u"Empty"_s << 0.0f << 0;
        QTest::newRow("text with blanks") << u"\" 12 \""_s << 12.0f << 0;
        QTest::newRow("hex text") << u"\"&H10\""_s << 16.0f << 0;
        QTest::newRow("word") << u"\"abc\""_s << 0.0f << 13;
        QTest::newRow("empty text") << u"\"\""_s << 0.0f << 13;
        QTest::newRow("evaluation error") << u"1500/0"_s << 0.0f << 11;
    }
    void evalSingle()
    {
        QFETCH(QString, expression);
        QFETCH(float, expected);
        QFETCH(int, error);
        int number = 0;
        float value = 0;
        try {
            value = ScriptEngine().EvalSingle(expression);
        } catch (const ScriptError& e) {
            number = e.number();
        }
        QCOMPARE(number, error);
        QCOMPARE(value, expected);
    }

    void toDouble()
    {
        QCOMPARE(ScriptEngine().Eval(u"\" 2.5 \"").toDouble(), 2.5);
        QCOMPARE(ScriptEngine().Eval(u"True").toDouble(), -1.0);
        QVERIFY_THROWS_EXCEPTION(ScriptError, ScriptEngine().Eval(u"Null").toDouble());
    }

    // Nesting and length are bounded: an error, never a crash.
    void limits()
    {
        const auto nested = [](const QString& open, const QString& inner, const QString& close,
                               int depth) -> QString {
            return open.repeated(depth) + inner + close.repeated(depth);
        };
        QCOMPARE(ErrorNumber(QString(100000, u'(')), 1002); // too long before too deep
        QCOMPARE(ErrorNumber(nested(u"("_s, u"1"_s, u")"_s, ScriptEngine::MaxDepth + 1)), 28);
        QCOMPARE(Outcome(nested(u"("_s, u"1"_s, u")"_s, ScriptEngine::MaxDepth)), u"Integer:1"_s);
        QCOMPARE(ErrorNumber(nested(u"Abs("_s, u"1"_s, u")"_s, 300)), 28);
        QCOMPARE(Outcome(u"Not "_s.repeated(3000) + u'1'), u"Integer:1"_s);
        // Every level of nesting under an operator of each precedence: all left operands wait.
        const QString chain = u"1 Imp 1 Eqv 1 Xor 1 Or 1 And 1 = 1 & 1 + 1 Mod 1 \\ 1 * 1 ^ ("_s;
        QCOMPARE(Outcome(nested(chain, u"1"_s, u")"_s, 40)), u"Integer:-2"_s);
        QCOMPARE(ErrorNumber(nested(chain, u"1"_s, u")"_s, ScriptEngine::MaxDepth)), 28);

        QCOMPARE(Outcome(u"1"_s + u"+2"_s.repeated(30000)), u"Long:60001"_s);
        QCOMPARE(Outcome(QString(60000, u'-') + u'1'), u"Integer:1"_s);
        QCOMPARE(Outcome(u'1' + QString(ScriptEngine::MaxLength - 1, u' ')), u"Integer:1"_s);
        QCOMPARE(ErrorNumber(u'1' + QString(ScriptEngine::MaxLength, u' ')), 1002);
    }
};

QTEST_GUILESS_MAIN(TestScriptEngine)
#include "tst_scriptengine.moc"
