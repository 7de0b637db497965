# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Removes what `cmake --install` put on the system from this build folder, as
# written down in RECORD (see RecordInstall.cmake).
# The program's own folders go too once they are empty; the user's data
# folder (~/.local/share/vestrana) is never touched.
if(NOT EXISTS "${RECORD}")
    message(FATAL_ERROR "Nothing to remove: ${RECORD} is missing (nothing was installed from this build folder).")
endif()
file(STRINGS "${RECORD}" installed)
set(own_folders)
foreach(f IN LISTS installed)
    set(path "${f}")
    if(IS_SYMLINK "${path}" OR EXISTS "${path}")
        message(STATUS "Removing ${path}")
        file(REMOVE "${path}")
    else()
        message(STATUS "Already gone: ${path}")
    endif()
    get_filename_component(folder "${path}" DIRECTORY)
    get_filename_component(folder_name "${folder}" NAME)
    if(folder_name STREQUAL "vestrana")
        list(APPEND own_folders "${folder}")
    endif()
endforeach()
list(REMOVE_DUPLICATES own_folders)
foreach(folder IN LISTS own_folders)
    file(GLOB left "${folder}/*")
    if(IS_DIRECTORY "${folder}" AND NOT left)
        file(REMOVE_RECURSE "${folder}")
    endif()
endforeach()
file(REMOVE "${RECORD}")
