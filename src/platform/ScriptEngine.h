#pragma once

#include "platform/Errors.h"

#include <QString>
#include <QStringView>

#include <cstdint>

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
    enum class Type : std::uint8_t { Empty, Null, Boolean, Integer, Long, Single, Double, String };

    ScriptValue() = default; // Empty
    static ScriptValue null();
    static ScriptValue fromBool(bool b);
    static ScriptValue fromInteger(std::int16_t v);
    static ScriptValue fromLong(std::int32_t v);
    static ScriptValue fromSingle(float v);
    static ScriptValue fromDouble(double v);
    static ScriptValue fromString(QString s);

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }
    bool isNull() const { return m_type == Type::Null; }
    // Boolean, Integer, Long, Single or Double.
    bool isNumber() const { return m_type >= Type::Boolean && m_type <= Type::Double; }

    // The subtype's VBScript name: "Empty", "Null", "Boolean", "Integer", "Long",
    // "Single", "Double", "String".
    QString typeName() const;

    // The number as CDbl gives it: Boolean -1/0, Empty 0, a String read as a
    // number ("." decimal point). Throws ScriptError 94 for Null, 13 for a String
    // that is not a number.
    double toDouble() const;

    // The text as CStr gives it: numbers with "." as the decimal point and up to
    // 15 (Double) or 7 (Single) significant digits, Boolean "True"/"False",
    // Empty "". Null gives "" as well (CStr itself refuses Null).
    QString toString() const;

    // Raw access for the engine; each is meaningful only for its subtype.
    bool boolValue() const { return m_i != 0; }
    std::int32_t intValue() const { return m_i; } // Boolean, Integer, Long
    double realValue() const { return m_d; }     // Single, Double
    const QString& stringValue() const { return m_s; }

private:
    Type m_type = Type::Empty;
    std::int32_t m_i = 0;
    double m_d = 0;
    QString m_s;
};

// Evaluates VBScript expressions: literals, operators, and the pure built-in
// functions. Names other than the built-ins are undefined (error 500). The
// engine holds no state, so one instance may serve any number of threads.
class ScriptEngine
{
public:
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

    // Eval followed by the conversion to single precision as CSng does: numbers to the nearest
    // single, Boolean -1/0, Empty 0, String parsed as a number ("." decimal point always;
    // surrounding spaces, sign, exponent, &H allowed; "" or a word -> type mismatch 13),
    // Null -> error 94, beyond single range -> overflow 6.
    float EvalSingle(QStringView expression) const;
};
