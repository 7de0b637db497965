# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# cmake -DROOT=<source dir> -P CheckFieldNames.cmake
# Fails when code names a field of a listing by its number: a field is
# field::Price, never 5. The enum class and FieldArray already refuse an int
# where a field belongs; this catches the ways around them (field::At or a
# cast of a literal, a field table indexed by a literal) and the int
# overloads coming back. A number read from a file goes through
# field::At(variable), which stays allowed.
if(NOT ROOT)
    message(FATAL_ERROR "ROOT not given")
endif()
file(GLOB_RECURSE files
    "${ROOT}/src/*.cpp" "${ROOT}/src/*.h"
    "${ROOT}/tests/*.cpp" "${ROOT}/tests/*.h"
    "${ROOT}/bench/*.cpp" "${ROOT}/bench/*.h"
    "${ROOT}/fuzz/*.cpp" "${ROOT}/fuzz/*.h")
# Each pattern in a variable of its own: CMake lists do not survive the square
# brackets of a regex, and a regex holds at most nine groups.
set(before "(^|[^A-Za-z0-9_])")
# A field by its number where a field::Field belongs ...
set(by_number "${before}(Field|GetRecord|SetRecord|FormalizedValue|WishBox)\\([0-9]")
set(at_number "field::(At|Index|Slot)\\([0-9]")
set(cast_number "(static_cast<field::Field>|field::Field)\\([0-9]")
# ... a field table indexed by a number ...
set(table_index "${before}(Attribute(Names|Kinds|Formulas|Comments|ValueLists|Max|Min)|(Range|Type|Value)Tails|fieldinfo::Names)\\[[0-9]")
set(listing_index "GenerateListing\\([^\n]*\\)\\[[0-9]")
set(sample_index "${before}f\\[[0-9]+\\]")
# ... and a table of every field or attribute sized by their count.
set(sized_table "std::array<[^\n<>]*, *1[78]>")
set(patterns by_number at_number cast_number table_index listing_index sample_index sized_table)
set(found "")
foreach(f IN LISTS files)
    file(RELATIVE_PATH rel "${ROOT}" "${f}")
    file(READ "${f}" content)
    # A ";" would split the matched lines as a list.
    string(REPLACE ";" "<semicolon>" content "${content}")
    foreach(name IN LISTS patterns)
        string(REGEX MATCHALL "[^\n]*(${${name}})[^\n]*" hits "${content}")
        foreach(hit IN LISTS hits)
            string(STRIP "${hit}" hit)
            string(REPLACE "<semicolon>" ";" hit "${hit}")
            string(APPEND found "  ${rel}: ${hit}\n")
        endforeach()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Fields named by their number (name them: field::Price, field::FieldArray):\n${found}")
endif()
