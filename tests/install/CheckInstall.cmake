# cmake -DBUILD_DIR=... -DPREFIX=... -DVERSION=... -DWITH_CAPTURE=ON|OFF -DHELP2MAN=...
#       -DDESKTOP_FILE_VALIDATE=... -DAPPSTREAMCLI=... -P CheckInstall.cmake
#
# Installs BUILD_DIR into the scratch prefix PREFIX, checks every installed file, then removes
# PREFIX again. All faults are gathered and reported together, so that one run shows them all.
cmake_minimum_required(VERSION 3.20)

foreach(required BUILD_DIR PREFIX VERSION)
    if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
        message(FATAL_ERROR "CheckInstall.cmake needs -D${required}=...")
    endif()
endforeach()

set(faults "")
function(fault text)
    set(faults "${faults}\n  - ${text}" PARENT_SCOPE)
endfunction()

# Passes when `text` holds `line` as a whole line.
function(expect_line file text line)
    string(FIND "\n${text}\n" "\n${line}\n" at)
    if(at EQUAL -1)
        set(faults "${faults}\n  - ${file}: no line '${line}'" PARENT_SCOPE)
    endif()
endfunction()

set(programs vornak vornak-split vornak-mktape)
if(WITH_CAPTURE)
    list(APPEND programs vornak-capture)
endif()

# The options each man page must tell of, a sample of each program's --help.
set(options_vornak --help --version)
set(options_vornak-split --output-dir --name --naming --format --sync --no-sync --quiet --help
                         --version)
set(options_vornak-mktape --scene --scenes --scene-gops --add-dates --start --cut-after --quiet
                          --help --version)
set(options_vornak-capture --list --device --output-dir --name --single-file --naming --format
                           --duration --quiet --help)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE log
    ERROR_VARIABLE log)
if(NOT status EQUAL 0)
    file(REMOVE_RECURSE "${PREFIX}")
    message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed (${status}):\n${log}")
endif()

# Programs: exactly these in bin/ (no test or benchmark program slips in), each one runs.
file(GLOB installed RELATIVE "${PREFIX}/bin" "${PREFIX}/bin/*")
list(SORT installed)
set(expected ${programs})
list(SORT expected)
if(NOT installed STREQUAL expected)
    fault("bin/ holds '${installed}' instead of '${expected}'")
endif()
foreach(program IN LISTS programs)
    set(path "${PREFIX}/bin/${program}")
    if(NOT EXISTS "${path}")
        continue()
    endif()
    # Running it is the check that it is executable; --help needs no display and no camcorder.
    execute_process(
        COMMAND "${path}" --help
        RESULT_VARIABLE status
        OUTPUT_VARIABLE help
        ERROR_VARIABLE help)
    if(NOT status EQUAL 0 OR NOT help MATCHES "Usage: ${program}")
        fault("bin/${program} --help: status ${status}, output:\n${help}")
    endif()
endforeach()

# Desktop entry and icon.
set(entry "${PREFIX}/share/applications/vornak.desktop")
if(NOT EXISTS "${entry}")
    fault("share/applications/vornak.desktop is missing")
else()
    if(DESKTOP_FILE_VALIDATE)
        execute_process(
            COMMAND "${DESKTOP_FILE_VALIDATE}" "${entry}"
            RESULT_VARIABLE status
            OUTPUT_VARIABLE report
            ERROR_VARIABLE report)
        # It exits 0 on mere hints, so anything it prints counts as well.
        if(NOT status EQUAL 0 OR NOT report STREQUAL "")
            fault("desktop-file-validate vornak.desktop (status ${status}):\n${report}")
        endif()
    endif()
    file(READ "${entry}" text)
    foreach(line "[Desktop Entry]" "Type=Application" "Name=Vornak" "Exec=vornak" "Icon=vornak"
                 "Terminal=false")
        expect_line(vornak.desktop "${text}" "${line}")
    endforeach()
    expect_line(vornak.desktop "${text}" "Categories=AudioVideo;Video;Recorder;")
    if(NOT text MATCHES "\nComment=[^\n]+")
        fault("vornak.desktop: no Comment")
    endif()
endif()
set(icon "${PREFIX}/share/icons/hicolor/scalable/apps/vornak.svg")
if(NOT EXISTS "${icon}")
    fault("share/icons/hicolor/scalable/apps/vornak.svg is missing")
else()
    file(READ "${icon}" text)
    if(NOT text MATCHES "<svg[^>]*viewBox=\"0 0 64 64\"" OR NOT text MATCHES "</svg>")
        fault("vornak.svg is no complete SVG drawing on the icon's 64-unit square")
    endif()
endif()

# AppStream metainfo: software centres list Vornak by it. Its newest release must be this
# version, or they offer the previous one.
set(metainfo "${PREFIX}/share/metainfo/org.example.vornak.metainfo.xml")
if(NOT EXISTS "${metainfo}")
    fault("share/metainfo/org.example.vornak.metainfo.xml is missing")
else()
    if(APPSTREAMCLI)
        execute_process(
            COMMAND "${APPSTREAMCLI}" validate --no-net "${metainfo}"
            RESULT_VARIABLE status
            OUTPUT_VARIABLE report
            ERROR_VARIABLE report)
        if(NOT status EQUAL 0)
            fault("appstreamcli validate org.example.vornak.metainfo.xml (status ${status}):\n${report}")
        endif()
    endif()
    file(READ "${metainfo}" text)
    if(NOT text MATCHES "<launchable type=\"desktop-id\">vornak.desktop</launchable>")
        fault("org.example.vornak.metainfo.xml does not launch vornak.desktop")
    endif()
    if(NOT text MATCHES "<releases>[ \n]*<release version=\"([^\"]*)\"")
        fault("org.example.vornak.metainfo.xml names no release")
    elseif(NOT CMAKE_MATCH_1 STREQUAL VERSION)
        fault("org.example.vornak.metainfo.xml's newest release is ${CMAKE_MATCH_1}, not ${VERSION}")
    endif()
endif()

# Man pages, one per program: help2man's title line carries the version, and the page tells of
# the program's options (roff escapes each '-' as '\-' and sets options in bold).
if(NOT HELP2MAN)
    fault("help2man was not found when the build was configured: no man pages")
endif()
foreach(program IN LISTS programs)
    set(page "${PREFIX}/share/man/man1/${program}.1")
    if(NOT EXISTS "${page}")
        fault("share/man/man1/${program}.1 is missing")
        continue()
    endif()
    file(READ "${page}" text)
    string(REPLACE "\\-" "-" text "${text}")
    string(REGEX REPLACE "\\\\f[BIRP]" "" text "${text}")
    string(TOUPPER "${program}" title)
    if(NOT text MATCHES "\n\\.TH \"?${title}\"? \"1\" [^\n]*${VERSION}")
        fault("${program}.1: no title line with section 1 and version ${VERSION}")
    endif()
    foreach(option IN LISTS options_${program})
        string(FIND "${text}" "${option}" at)
        if(at EQUAL -1)
            fault("${program}.1 does not mention ${option}")
        endif()
    endforeach()
endforeach()

# The FireWire udev rule.
set(rule "${PREFIX}/lib/udev/rules.d/60-vornak-firewire.rules")
if(NOT EXISTS "${rule}")
    fault("lib/udev/rules.d/60-vornak-firewire.rules is missing")
else()
    file(READ "${rule}" text)
    expect_line(60-vornak-firewire.rules "${text}"
                "SUBSYSTEM==\"firewire\", GROUP=\"video\", MODE=\"0660\"")
endif()

# The copyright file, in Debian's machine-readable format.
set(copyright "${PREFIX}/share/doc/vornak/copyright")
if(NOT EXISTS "${copyright}")
    fault("share/doc/vornak/copyright is missing")
else()
    file(STRINGS "${copyright}" first LIMIT_COUNT 1)
    if(NOT first STREQUAL
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
        fault("copyright: the first line is '${first}', not the machine-readable format's")
    endif()
endif()

file(REMOVE_RECURSE "${PREFIX}")
if(NOT faults STREQUAL "")
    message(FATAL_ERROR "The installed tree is not complete:${faults}")
endif()
message(STATUS "Installed and checked: ${programs}, the desktop entry, the icon, the metainfo, "
               "the man pages, the udev rule and the copyright file")
