// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "store/Fields.h"

#include <QString>

#include <array>

class KnowledgeBase;
class ScriptEngine;

// The wish texts of attributes 0..17 as the boxes hold them (14..17 empty).
using WishTexts = field::FieldArray<QString>;

// One wish made ready to be compared: what the user meant, in the terms the
// attribute is scored in. The search run, the explanation, the main window and
// the console tool all read wishes through PrepareWishes, so that what a box
// says about its wish is what the search does with it.
struct PreparedWish
{
    // What the preparation has to say about the wish.
    enum class Note {
        None,          // empty, a text match, an accepted value, or a number used as typed
        Formula,       // turned into the formula's result ("500 м → 75 из 100")
        Scale,         // a number in a box of rated values: compared on the 0..100 scale
        UnknownValue,  // matches no accepted value and holds no number: not scored
        NoNumber,      // a number is compared and the wish holds none: not scored
        FormulaFailed, // the formula gives no number for the wish: not scored
    };

    QString typed; // as given
    // What is compared: the trimmed wish, the formalized value that replaced
    // it, or the formula's result as text. Empty when the wish is not scored.
    QString text;
    bool scored = false;
    // The number compared with the listing's (all kinds but the text match).
    double number = 0;
    Note note = Note::None;
    // UnknownValue: the nearest accepted value, as stored (empty when the list
    // has none to offer).
    QString suggestion;
    // One short Russian sentence naming the box; empty where nothing is worth
    // saying. Shown beside the box, as its tooltip and by the console tool.
    QString hint;

    // Whether the hint reports a wish that is not used (rather than informs).
    bool Ignored() const
    {
        return note == Note::UnknownValue || note == Note::NoNumber || note == Note::FormulaFailed;
    }
};

using PreparedWishes = field::FieldArray<PreparedWish>;

// Prepares the wish of attribute k. Trimmed; then by the attribute's kind:
// - rated values: a wish equal to an accepted value (ignoring case and
//   surrounding spaces) becomes its formalized value; another wish that holds
//   a number is compared on the 0..100 scale; one that holds none is not scored;
// - a formula that names its own attribute and no other: the formula's result
//   with the wish's number standing for the attribute's value, so that the
//   wish is in the box's own units; no number, or a formula that fails for
//   it, and the wish is not scored;
// - every other kind compared as a number (numbers, other formulas, unknown
//   kinds): the wish's number as typed, not scored where it holds none;
// - the text match: the trimmed wish.
PreparedWish PrepareWish(const KnowledgeBase& kb, const ScriptEngine& engine, int k, const QString& typed);
// Every attribute's (0..16; slot 17 stays empty).
PreparedWishes PrepareWishes(const KnowledgeBase& kb, const ScriptEngine& engine, const WishTexts& typed);

// The compared texts of prepared wishes (empty where not scored).
WishTexts PreparedTexts(const PreparedWishes& prepared);

// The caption of attribute k's wish box, with single spaces (the attribute's
// name where it has no box).
QString WishBoxCaption(const KnowledgeBase& kb, int k);

// Whether Val finds a number at the start of the text (else it reads 0).
bool HoldsNumber(QStringView s);

// The accepted value nearest to a text, ignoring case and surrounding spaces
// (fewest letters to change; the first on a tie); empty when none is there.
QString NearestValue(const QStringList& values, const QString& wish);
