// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <QStringView>

class KnowledgeBase;
class Program;
class Record;
class ScriptEngine;

// What the formalized value box does with its text.
enum class FormalizedCheck {
    // A plain whole number from 0 to 100 (spaces around it allowed): stored as typed.
    Store,
    // Not the plain form of a number (050, +5, 5.0, 1e1, letters, nothing): the box
    // becomes "0" and the message follows.
    ResetToZero,
    // A plain number outside 0..100, or one beyond 32 bits: the text stays, nothing
    // is stored, the message follows.
    Refuse,
};

// Judges a text of the formalized value box: the number it begins with (read as
// text::Val reads it, rounded half to even) must fit 32 bits, the text with its
// spaces trimmed must be exactly that number's plain decimal form, and the number
// must lie in 0..100.
FormalizedCheck FormalizedValueCheck(QStringView boxText);

// One run of the formula check against a listing picked at random.
struct FormulaCheckResult
{
    enum class Status { NoListings, Failed, Succeeded };
    Status status = Status::NoListings;
    int position = 0; // the picked listing, 1-based; 0 when there was none
    float value = 0;  // the formula's value when it succeeded
    QString text;     // the lines to show when it succeeded
    QString reason;   // why it failed: the reading fault, or the evaluation's error
};

// Reads a formula without a listing: its syntax, and that every name in it is
// an attribute, a built-in function or a named constant. Empty when it reads;
// otherwise the reason with its place, 1-based: "Синтаксическая ошибка в
// позиции 14: ожидалось число или имя".
QString FormulaProblem(const KnowledgeBase& kb, const ScriptEngine& engine, const QString& formula);

// Picks one listing uniformly with the program's random source (nothing is
// picked from an empty database) and evaluates `formula` for it.
FormulaCheckResult CheckFormula(Program& program, const QString& formula);

// The report of a successful check: "Атрибуты:", one line per attribute with the
// listing's field, twelve hyphens and the value, lines separated by CR alone.
QString FormulaCheckText(const KnowledgeBase& kb, const Record& listing, float value);
