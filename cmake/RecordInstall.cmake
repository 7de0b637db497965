# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Run last by `cmake --install`: adds the files installed so far, as placed
# (with DESTDIR), to the record the uninstall target reads (vestrana_record).
# cpack's own install into its staging folder inside the build folder is not
# recorded.
if(CMAKE_INSTALL_PREFIX MATCHES "^${vestrana_build}/" OR "$ENV{DESTDIR}" MATCHES "^${vestrana_build}/")
    return()
endif()
set(recorded)
if(EXISTS "${vestrana_record}")
    file(STRINGS "${vestrana_record}" recorded)
endif()
foreach(f IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    list(APPEND recorded "$ENV{DESTDIR}${f}")
endforeach()
list(REMOVE_DUPLICATES recorded)
list(JOIN recorded "\n" text)
file(WRITE "${vestrana_record}" "${text}\n")
