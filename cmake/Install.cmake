# Installation by the Linux conventions, and the Debian package made from it.
include(GNUInstallDirs)

install(TARGETS vestrana-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VESTRANA_BUILD_GUI)
    install(TARGETS vestrana RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The programs find their sample data (and tell an installed copy from a build)
# by share/vestrana beside their bin folder, so the two must keep this relation.
set(vestrana_share ${CMAKE_INSTALL_DATADIR}/vestrana)
install(FILES ${CMAKE_SOURCE_DIR}/data/database.txt ${CMAKE_SOURCE_DIR}/data/knows.txt
        DESTINATION ${vestrana_share})
# The menu entry, its metadata, the icons and the help belong to the desktop program.
if(VESTRANA_BUILD_GUI)
    file(GLOB help_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/*.html ${CMAKE_SOURCE_DIR}/help/*.png)
    install(FILES ${help_pages} DESTINATION ${vestrana_share}/help)

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

# Manual pages carry the version and are compressed, as Debian wants them.
foreach(page vestrana-cli vestrana)
    configure_file(${CMAKE_SOURCE_DIR}/dist/${page}.1 ${CMAKE_BINARY_DIR}/dist/${page}.1 @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/dist/${page}.1.gz
        COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/dist/${page}.1 > ${CMAKE_BINARY_DIR}/dist/${page}.1.gz
        DEPENDS ${CMAKE_BINARY_DIR}/dist/${page}.1 VERBATIM)
    list(APPEND man_pages ${CMAKE_BINARY_DIR}/dist/${page}.1.gz)
endforeach()
if(NOT VESTRANA_BUILD_GUI)
    list(REMOVE_ITEM man_pages ${CMAKE_BINARY_DIR}/dist/vestrana.1.gz)
endif()
add_custom_target(vestrana_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

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
set(CPACK_PACKAGE_CONTACT "Vestrana developers <vestrana@localhost>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
