# What installing puts where, and the Debian package made of it: `cpack -G
# DEB` in the build folder makes quorvex_<version>_amd64.deb.
include(GNUInstallDirs)

set(QUORVEX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorvex)
set(QUORVEX_PACKAGING_DIR ${PROJECT_BINARY_DIR}/packaging)

# Debian wants the manual page and the changelog compressed with gzip -9n:
# no name or time stamp inside, so the same input gives the same bytes.
find_program(QUORVEX_GZIP gzip REQUIRED)
set(QUORVEX_COMPRESSED "")
foreach(pair "quorvex.1:Quorvex.1.gz" "changelog:changelog.gz")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(
        OUTPUT ${QUORVEX_PACKAGING_DIR}/${target}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEX_PACKAGING_DIR}
        COMMAND ${QUORVEX_GZIP} -9n -c ${CMAKE_CURRENT_LIST_DIR}/${source}
                > ${QUORVEX_PACKAGING_DIR}/${target}
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source}
        VERBATIM)
    list(APPEND QUORVEX_COMPRESSED ${QUORVEX_PACKAGING_DIR}/${target})
endforeach()
add_custom_target(quorvex_packaging_files ALL DEPENDS ${QUORVEX_COMPRESSED})

install(TARGETS Quorvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Stripping leaves the compiler's notes, which a package has no use for.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/Quorvex\"
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()")

install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorvex.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The icon in every size make_pictures.py draws, and as SVG.
file(GLOB QUORVEX_ICONS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/icons/quorvex-*.png)
foreach(icon IN LISTS QUORVEX_ICONS)
    string(REGEX REPLACE ".*-([0-9]+)\\.png$" "\\1" size "${icon}")
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quorvex.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quorvex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/io.github.quorvex.Quorvex.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUORVEX_PACKAGING_DIR}/Quorvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${QUORVEX_PACKAGING_DIR}/changelog.gz
        DESTINATION ${QUORVEX_DOC_DIR})

# Every build of one release dates the files in its package alike, from a
# checkout or from a tarball without git: by the newest change log entry, as
# Debian's packages are dated, unless the caller sets SOURCE_DATE_EPOCH.
# cpack reads packaging/package_date.cmake before it packs.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
find_program(QUORVEX_DPKG_PARSECHANGELOG dpkg-parsechangelog)
if(QUORVEX_DPKG_PARSECHANGELOG)
    execute_process(
        COMMAND ${QUORVEX_DPKG_PARSECHANGELOG} -l ${CMAKE_CURRENT_LIST_DIR}/changelog -STimestamp
        OUTPUT_VARIABLE CPACK_QUORVEX_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package_date.cmake)

# Installing and packaging take what is built and never start a build of their
# own: `make package` builds first, and the package test runs beside others.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VENDOR "The Quorvex developers")
set(CPACK_PACKAGE_CONTACT "The Quorvex developers <developers@quorvex.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small password generator with one window")
# The long description, one line of the control file per line here.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Quorvex makes random passwords of 1 to 32766 characters from one of four"
    "character sets: digits; letters and digits; letters, digits and common"
    "symbols; or letters, digits and a wider set of symbols."
    "."
    "Type the length, choose the set and press the button; select the password"
    "and press Ctrl+C to put it on the clipboard. Lengths from 1000 on ask for"
    "confirmation first. The program keeps no settings, stores no passwords,"
    "uses no network, and runs only once at a time for each user.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build[^/]*/;/\\\\.git/")

set(CPACK_DEBIAN_PACKAGE_NAME quorvex)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The shared libraries come from dpkg-shlibdeps; the X11 and Wayland platform
# plugins and the fonts are loaded at run time, which no linker sees.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-wayland, fonts-dejavu-core, fonts-dancingscript")

include(CPack)
