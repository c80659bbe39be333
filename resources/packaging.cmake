# The Debian package: `cpack -G DEB` in the build folder makes
# quorvex_<version>_amd64.deb from the install rules.
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
        COMMAND ${QUORVEX_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/resources/${source}
                > ${QUORVEX_PACKAGING_DIR}/${target}
        DEPENDS ${PROJECT_SOURCE_DIR}/resources/${source}
        VERBATIM)
    list(APPEND QUORVEX_COMPRESSED ${QUORVEX_PACKAGING_DIR}/${target})
endforeach()
add_custom_target(quorvex_packaging_files ALL DEPENDS ${QUORVEX_COMPRESSED})

# Stripping leaves the compiler's notes, which a package has no use for.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/Quorvex\"
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()")

install(FILES ${PROJECT_SOURCE_DIR}/resources/io.github.quorvex.Quorvex.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUORVEX_PACKAGING_DIR}/Quorvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright ${QUORVEX_PACKAGING_DIR}/changelog.gz
        DESTINATION ${QUORVEX_DOC_DIR})

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
