// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/Errors.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// A failed evaluation: the VBScript error number (13, 1002, ...) and a short
// Russian reason, which is also the message shown to the user.
class ScriptError : public VestranaError
{
public:
    ScriptError(int number, const QString& reason);
    int number() const { return m_number; }

private:
    int m_number;
};

// A VBScript Variant: one value with its subtype.
class ScriptValue
{
public:
    enum class Type : std::uint8_t {
        Empty,
        Null,
        Boolean,
        Byte,
        Integer,
        Long,
        Single,
        Double,
        Currency,
        Date,
        String,
        Array,
    };

    ScriptValue() = default; // Empty
    static ScriptValue null();
    static ScriptValue fromBool(bool b);
    static ScriptValue fromInteger(std::int16_t v);
    static ScriptValue fromLong(std::int32_t v);
    static ScriptValue fromSingle(float v);
    static ScriptValue fromDouble(double v);
    static ScriptValue fromString(QString s);
    static ScriptValue fromByte(std::uint8_t v);
    // The amount times 10000: four decimals, exact.
    static ScriptValue fromCurrency(std::int64_t scaled);
    // Days since 30.12.1899; the fraction is the time of day.
    static ScriptValue fromDate(double serial);
    // A one-dimensional variant array, indexed from 0.
    static ScriptValue fromArray(std::vector<ScriptValue> items);

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }
    bool isNull() const { return m_type == Type::Null; }
    bool isArray() const { return m_type == Type::Array; }
    // Boolean, Byte, Integer, Long, Single, Double or Currency.
    bool isNumber() const { return m_type >= Type::Boolean && m_type <= Type::Currency; }

    // The subtype's VBScript name: "Empty", "Null", "Boolean", "Byte", "Integer", "Long",
    // "Single", "Double", "Currency", "Date", "String", "Variant()".
    QString typeName() const;

    // The number as CDbl gives it: Boolean -1/0, Empty 0, a String read as a
    // number ("." decimal point), a Date its day number. Throws ScriptError 94 for
    // Null, 13 for an array or a String that is not a number.
    double toDouble() const;

    // The text as CStr gives it: numbers with "." as the decimal point and up to
    // 15 (Double) or 7 (Single) significant digits, Boolean "True"/"False",
    // Empty "", a Date as dd.mm.yyyy H:mm:ss (either part alone when the other is
    // zero). Null gives "" as well (CStr itself refuses Null); an array throws 13.
    QString toString() const;

    // Raw access for the engine; each is meaningful only for its subtype.
    std::int32_t intValue() const { return static_cast<std::int32_t>(m_i); } // Boolean, Byte, Integer, Long
    std::int64_t currencyValue() const { return m_i; }                       // Currency, times 10000
    double realValue() const { return m_d; }                                 // Single, Double, Date
    const QString& stringValue() const { return m_s; }
    const std::vector<ScriptValue>& arrayValue() const; // Array

private:
    Type m_type = Type::Empty;
    std::int64_t m_i = 0;
    double m_d = 0;
    QString m_s;
    std::shared_ptr<const std::vector<ScriptValue>> m_a;
};

// Why an expression cannot be read, found without evaluating it.
struct ScriptProblem
{
    int number = 0;         // the error number evaluating would give
    qsizetype position = 0; // 0-based start of the fault; the text's length when it is at the end
    bool syntax = true;     // a fault of the writing itself, not of a name
    QString reason;         // short, lower case: "ожидалось число или имя"
};

// Evaluates VBScript expressions: literals, operators, and the pure built-in
// functions. Names other than the built-ins and VBScript's named constants are
// undefined (error 500). Nothing outside is reachable: the functions that would
// reach it are refused (error 70). Evaluating changes no state, so one instance
// may serve any number of threads; only SetClock changes it.
class ScriptEngine
{
public:
    ScriptEngine();

    // Longest text and most items a function or operator may build (error 14 for
    // text, 7 for arrays beyond), checked before anything is allocated.
    static constexpr qsizetype MaxText = 1 << 20;
    static constexpr qsizetype MaxItems = 1 << 16;

    // The time Date, Time, Now and Timer give: read from the clock source once,
    // at construction and at each ReadClock (a search run calls it as it starts),
    // so that every formula of a run sees the same moment. The source is the
    // system clock unless SetClock fixes a moment, as tests do.
    void ReadClock();
    void SetClock(const QDateTime& fixed);
    QDateTime Clock() const;
    // The same moment as a day number, as a Date holds it.
    double ClockDay() const { return m_now; }

    // Longest expression text accepted, in UTF-16 code units.
    static constexpr qsizetype MaxLength = 65536;
    // The error an expression longer than MaxLength gives (a syntax error).
    static constexpr int TooLongError = 1002;
    static QString TooLongText();
    // Deepest nesting of parentheses and calls accepted (error 28 beyond); an
    // optimised build then needs under 256 KiB of stack.
    static constexpr int MaxDepth = 256;

    // Evaluates one expression text; throws ScriptError on any syntax or evaluation error.
    ScriptValue Eval(QStringView expression) const;
    // The same; an undefined name that is close to one of names (or to a function)
    // gets a suggestion in the message. `readsClock`, when given, becomes true
    // if Date, Time, Now or Timer was called (it is never set back to false):
    // such a result holds only for the present clock reading.
    ScriptValue Eval(QStringView expression, std::span<const QString> names,
                     bool* readsClock = nullptr) const;

    // Eval followed by the conversion to single precision as CSng does: numbers to the nearest
    // single, Boolean -1/0, Empty 0, String parsed as a number ("." decimal point always;
    // surrounding spaces, sign, exponent, &H allowed; "" or a word -> type mismatch 13),
    // Null -> error 94, beyond single range -> overflow 6.
    float EvalSingle(QStringView expression) const;

    // Reads an expression without evaluating it: its syntax, and that every
    // name is a named constant or a built-in function with a fitting number of
    // arguments. An unknown name close to one of names gets a suggestion.
    [[nodiscard]] std::optional<ScriptProblem> Check(QStringView expression,
                                                     std::span<const QString> names) const;
    float EvalSingle(QStringView expression, std::span<const QString> names,
                     bool* readsClock = nullptr) const;

private:
    double m_now = 0;  // day number, as a Date holds it
    QDateTime m_fixed; // when valid, the clock always reads it
};
