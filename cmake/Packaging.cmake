# cpack -G DEB (in the build folder, or `cpack --config <build>/CPackConfig.cmake -G DEB`) makes
# vornak_<version>-<revision>_<arch>.deb from what `cmake --install` puts in place, under /usr.
# Its Depends line is worked out by dpkg-shlibdeps from the libraries the programs link, so it
# follows the build instead of a hand-kept list. scripts/package builds, checks and installs it.
#
# The revision and the packager's note come from data/debian/changelog; its newest entry must
# carry PROJECT_VERSION (scripts/package checks that).

set(VORNAK_DEB_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/data/debian/changelog)
# A new entry takes effect with the next build, as an edit of a CMakeLists.txt would.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VORNAK_DEB_CHANGELOG})
file(STRINGS ${VORNAK_DEB_CHANGELOG} newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^vornak \\(([^)-]+)-([^)]+)\\)")
    message(FATAL_ERROR "${VORNAK_DEB_CHANGELOG}: the first line names no version")
endif()
set(VORNAK_DEB_REVISION ${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(WARNING "data/debian/changelog's newest entry is for ${CMAKE_MATCH_1}, "
                    "the project is ${PROJECT_VERSION}: add an entry for it")
endif()

set(CPACK_PACKAGE_NAME vornak)
set(CPACK_PACKAGE_VENDOR "Vornak developers")
set(CPACK_PACKAGE_CONTACT "Vornak developers <vornak@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "capture HDV camcorder tapes over FireWire and split them into scenes")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Symbols are of no use to the programs' users, and lintian asks for stripped binaries.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_NAME vornak)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VORNAK_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vornak developers <vornak@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The long description; CPack puts the synopsis (the summary above) before it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vornak records what an HDV or DV camcorder plays from its tape over FireWire,
into one file per capture or one file per recorded scene, and splits existing
MPEG-2 transport stream (.m2t, .ts) and DV (.dv) files into one file per
recorded scene. Packets are copied exactly as they were read, every scene file
starts with a complete picture group, existing files are never overwritten, and
every lost packet is counted and reported.

The package holds the window (vornak), the command-line programs vornak-split
and vornak-capture, vornak-mktape (synthetic tapes for tests and demos), their
manual pages, and a udev rule that lets the video group open FireWire devices.")

# Debian wants manual pages and the changelog compressed, and the package the same from one
# build to the next: gzip -n leaves out the name and time. This is done to the staged tree
# only, so that `cmake --install` keeps its plain pages.
set(CPACK_VORNAK_CHANGELOG ${VORNAK_DEB_CHANGELOG})
set(CPACK_VORNAK_MANDIR ${CMAKE_INSTALL_MANDIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianStaging.cmake)

include(CPack)
