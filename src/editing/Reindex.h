// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "program/RunContext.h"

#include <QString>

class Program;

// The re-index: for every attribute, adds each field text not yet among its
// accepted values (at the end, with the formalized value "0", in the order of
// first appearance) and recomputes the range of "Числовой" attributes; other
// kinds get -999999 and 999999. Existing values and formalized values are
// never changed.
//
// What it tells the run context: `progress` the comment, once; `steps` the
// progress (maximum field::Attributes × n + 1, value n × j + i at listing i of attribute j)
// whenever the value has moved by about a thousandth of the whole. It yields
// at most every ~15 ms and reads the stop request after each listing.
//
// The run starts with ProcessState ProcessOpen and ends at once when it reads
// ProcessCancelled (usually set from inside a yield) or the context asks it to
// stop: the attribute in progress keeps the range of the listings seen so far,
// later attributes keep the range they had, and values added so far stay.
// Returns false when cancelled. Nothing may change the listings or the
// knowledge base while it runs (Program::Busy() is true meanwhile); its end
// announces the knowledge base changed. Errors pass to the caller.
[[nodiscard]] bool Normalize(Program& program, const RunContext& context = {});

// The comment shown during the re-index.
QString ReindexComment();
