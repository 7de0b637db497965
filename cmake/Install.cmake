# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Installation by the Linux conventions, and the Debian package made from it.
include(GNUInstallDirs)

set(VESTRANA_MAINTAINER "Vestrana developers <dev@vestrana.ru>" CACHE STRING
    "The package's maintainer, as \"name <address>\"")

install(TARGETS vestrana-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VESTRANA_BUILD_GUI)
    install(TARGETS vestrana RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The programs find their sample data (and tell an installed copy from a build)
# by share/vestrana beside their bin folder, so the two must keep this relation.
set(vestrana_share ${CMAKE_INSTALL_DATADIR}/vestrana)
install(FILES ${CMAKE_SOURCE_DIR}/data/database.txt ${CMAKE_SOURCE_DIR}/data/knows.txt
        DESTINATION ${vestrana_share})
# The menu entry, its metadata and the icons belong to the desktop program (its
# help pages are compiled in).
if(VESTRANA_BUILD_GUI)
    set(app_id ru.vestrana.Vestrana)
    install(FILES ${CMAKE_SOURCE_DIR}/dist/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    configure_file(${CMAKE_SOURCE_DIR}/dist/${app_id}.metainfo.xml ${CMAKE_BINARY_DIR}/dist/${app_id}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/dist/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    install(FILES ${CMAKE_SOURCE_DIR}/resources/vestrana.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/${size}x${size}/vestrana.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()

# Manual pages carry the version and the release date and are compressed, as
# Debian wants them: English ones in man1, the Russian ones in ru/man1.
set(man_pages)
foreach(page vestrana-cli vestrana)
    if(page STREQUAL "vestrana" AND NOT VESTRANA_BUILD_GUI)
        continue()
    endif()
    foreach(lang en ru)
        if(lang STREQUAL "en")
            set(source ${CMAKE_SOURCE_DIR}/dist/en/${page}.1)
            set(section man1)
        else()
            set(source ${CMAKE_SOURCE_DIR}/dist/${page}.1)
            set(section ru/man1)
        endif()
        set(page_file ${CMAKE_BINARY_DIR}/dist/man/${section}/${page}.1)
        configure_file(${source} ${page_file} @ONLY)
        add_custom_command(OUTPUT ${page_file}.gz
            COMMAND gzip -9 -n -c ${page_file} > ${page_file}.gz
            DEPENDS ${page_file} VERBATIM)
        list(APPEND man_pages ${page_file}.gz)
        install(FILES ${page_file}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${section})
    endforeach()
endforeach()

# The licence and the history, where Debian looks for them. The changelog's
# date is the release date with its weekday (Sakamoto's method).
string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" date_ok "${VESTRANA_RELEASE_DATE}")
if(NOT date_ok)
    message(FATAL_ERROR "VESTRANA_RELEASE_DATE is not YYYY-MM-DD: ${VESTRANA_RELEASE_DATE}")
endif()
set(year ${CMAKE_MATCH_1})
set(month ${CMAKE_MATCH_2})
set(day2 ${CMAKE_MATCH_3})
string(REGEX REPLACE "^0" "" month ${month})
string(REGEX REPLACE "^0" "" day ${day2})
set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR month_index "${month} - 1")
list(GET month_offsets ${month_index} offset)
set(y ${year})
if(month LESS 3)
    math(EXPR y "${y} - 1")
endif()
math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
set(weekday_names Sun Mon Tue Wed Thu Fri Sat)
set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET weekday_names ${weekday} weekday_name)
list(GET month_names ${month_index} month_name)
set(VESTRANA_RELEASE_DATE_RFC2822 "${weekday_name}, ${day2} ${month_name} ${year} 12:00:00 +0000")
configure_file(${CMAKE_SOURCE_DIR}/dist/copyright ${CMAKE_BINARY_DIR}/dist/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/dist/changelog ${CMAKE_BINARY_DIR}/dist/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/dist/changelog.gz
    COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/dist/changelog > ${CMAKE_BINARY_DIR}/dist/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/dist/changelog VERBATIM)
add_custom_target(vestrana_man_pages ALL DEPENDS ${man_pages} ${CMAKE_BINARY_DIR}/dist/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/dist/copyright ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vestrana)

# What `cmake --install` put on the system, for the uninstall target, in a file of
# its own: cpack installs into a staging folder inside the build folder and
# rewrites install_manifest.txt, but leaves this record alone. Each install
# adds to the record, so every one of them is undone.
set(vestrana_record ${CMAKE_BINARY_DIR}/installed-files.txt)
install(CODE "set(vestrana_record \"${vestrana_record}\")\nset(vestrana_build \"${CMAKE_BINARY_DIR}\")")
install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/RecordInstall.cmake)
add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DRECORD=${vestrana_record} -P ${CMAKE_SOURCE_DIR}/cmake/Uninstall.cmake
    COMMENT "Removing the files installed from this build folder" VERBATIM)

# cpack -G DEB: vestrana_<version>_amd64.deb, dependencies from the binaries.
set(CPACK_PACKAGE_NAME vestrana)
set(CPACK_PACKAGE_VENDOR "Vestrana")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flat choice advisor (Russian interface)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vestrana compares a buyer's wishes with every listing of a flat database
and shows the ten listings that fit best, with their match percentage.
The comparison rests on an expert's knowledge base; listings and the
knowledge base can be edited, and fresh listings loaded from a listing site.
The package holds the desktop program, the console tool vestrana-cli and
sample data. The user interface is in Russian.")
set(CPACK_PACKAGE_CONTACT "${VESTRANA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (the context menus of text boxes) in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
