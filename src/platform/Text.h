// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <limits>

// Small text and number helpers shared by every subsystem.
namespace text {

// The number at the start of a text: blanks, tabs and line feeds are ignored
// wherever they stand, then an optional sign, digits with at most one "." and an
// optional exponent (E or D); "&H" and "&O" read hexadecimal and octal integers.
// Reading stops at the first character that cannot continue the number; a text
// without a number gives 0. The decimal point is "." whatever the locale.
double Val(QStringView s);

// Whether the whole text is one number as Val reads it (blanks aside): what a
// number field of a data file must hold for Val to read it all.
bool IsNumber(QStringView s);

// Rounds to the nearest whole number, halves to the even neighbour (12.5 -> 12).
double RoundHalfEven(double x);
// Rounds to a number of decimal places, halves to the even neighbour.
double RoundHalfEven(double x, int decimals);

// Converts to single precision; a magnitude beyond the single range raises the
// overflow error. NaN also counts as overflow: it has no place in a score.
float ToSingle(double x);
// Whether the conversion succeeds.
inline bool FitsSingle(double x)
{
    // Values that round down to the largest single still fit.
    return x > -3.4028235677973366e38 && x < 3.4028235677973366e38;
}

// Number text: a leading space for a number that is not negative (a minus sign
// otherwise), "." as the decimal point, no trailing zeros, no decimal point for
// whole values, no "0" before the point below 1, and at most `digits`
// significant digits (7 for single precision, 15 for double). Exponent form
// ("1E+07") from ten million up and below 0.0001.
QString NumberText(double x, int digits = 7);

// A number in the general form of a single-precision value as a file holds it:
// like NumberText, but without the leading space and with a "0" before the
// point below 1. Used for the ranges in the knowledge-base file.
QString GeneralNumber(double x, int digits = 7);

// Milliseconds as seconds for a Russian message: "1,5", "60", "0,25".
QString SecondsText(int ms);

// Leading and trailing space characters removed (spaces only, not tabs).
QString Trimmed(QStringView s);
QStringView TrimmedView(QStringView s);
// Trimmed, then lower-cased: the comparison form of wishes.
QString Folded(QStringView s);

// A character in lower case: Latin and Cyrillic letters by arithmetic, the
// rest through Unicode. For comparisons over many texts.
inline char16_t LowerChar(char16_t u)
{
    if (u < 0x80) return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    if (u >= 0x410 && u <= 0x42F) return char16_t(u + 32);
    if (u >= 0x430 && u <= 0x44F) return u;
    return QChar(u).toLower().unicode();
}

// Whether a text holds `lowered` (already in lower case), letter case aside.
bool ContainsLowered(QStringView text, QStringView lowered);
// Levenshtein distance of two texts, letters compared without case; `cap` once
// it reaches cap, where the count stops (a search for the nearest passes its best so far).
int EditDistance(QStringView a, QStringView b, int cap);

// Texts that a data file cannot carry: "|" becomes "¦" and each line break
// (CR LF, CR or LF) one space. Returns the text unchanged when there is nothing to do.
QString FileSafe(const QString& s);
bool IsFileSafe(QStringView s);

// The entries of a list as a drop-down offers them: numbers first, by value;
// then texts in Russian alphabetical order (letter case aside, ё beside е,
// runs of digits by their value, so "дом 9" before "дом 10"); no empty entry
// and no entry twice.
QStringList SortedChoices(QStringList entries);

} // namespace text
