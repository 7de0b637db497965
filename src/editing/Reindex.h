#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class Program;

// What a re-index tells whoever drives it (the progress dialog, the command
// line, a test). Every hook may be empty.
struct ReindexHooks
{
    // The text to show while the re-index runs.
    std::function<void(const QString&)> comment;
    // Progress as maximum and value (maximum 17 × n + 1, value n × j + i at
    // listing i of attribute j); called when the value has moved by about a
    // thousandth of the whole, never per listing.
    std::function<void(qint64 maximum, qint64 value)> progress;
    // Lets pending events run; called at most every ~15 ms. A cancel is
    // requested by setting ProcessState to 3, usually from inside this call.
    std::function<void()> yield;
};

// The re-index: for every attribute, adds each field text not yet among its
// accepted values (at the end, with the formalized value "0", in the order of
// first appearance) and recomputes the range of "Числовой" attributes; other
// kinds get -999999 and 999999. Existing values and formalized values are
// never changed.
//
// The run starts with ProcessState 2 and ends at once when it reads 3: the
// attribute in progress keeps the range of the listings seen so far, later
// attributes keep the range they had, and values added so far stay. Returns
// false when cancelled. Nothing may change the listings or the knowledge base
// while it runs (Program::Busy() is true meanwhile); errors pass to the caller.
bool Normalize(Program& program, const ReindexHooks& hooks = {});

// The comment shown during the re-index.
QString ReindexComment();
