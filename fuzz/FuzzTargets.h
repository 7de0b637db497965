// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <cstddef>
#include <cstdint>

// The entry points the fuzzers drive, one per input the program takes from
// outside: each feeds the bytes to the program's own code in memory and checks
// what must hold for any input. A broken property aborts; a refused input is fine.
// The regression test runs the stored corpus through the same functions.
namespace fuzz {

// The bytes as database.txt.
void Database(const uint8_t* data, size_t size);
// The bytes as knows.txt; what loads must save and load back to the same file.
void Knowledge(const uint8_t* data, size_t size);
// The first line is a formula, the next 17 lines (windows-1251) are the fields
// of a listing; the formula is evaluated against that listing.
void Formula(const uint8_t* data, size_t size);
// The bytes as a page from the listing site: decoded as a browser would, then
// read both as a list page and as a detail page.
void Page(const uint8_t* data, size_t size);

} // namespace fuzz
