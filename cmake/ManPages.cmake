# Man pages of the programs, written by help2man from each program's own --help and --version
# at build time, so that a page never tells of options the program no longer has.
#
# vornak_add_man_page(TARGET "one-line description" [extra help2man arguments...]) makes
# man/TARGET.1 in the build folder as part of the default build and installs it into
# share/man/man1. It does nothing for a target that this build leaves out (no window without
# Qt, say). Without help2man the build goes on without man pages, and says so once.

find_program(VORNAK_HELP2MAN help2man)
if(NOT VORNAK_HELP2MAN)
    message(WARNING "help2man not found: no man pages are made or installed "
                    "(scripts/install-deps installs it)")
endif()

set(VORNAK_MAN_DIR ${CMAKE_BINARY_DIR}/man)

function(vornak_add_man_page target description)
    if(NOT TARGET ${target} OR NOT VORNAK_HELP2MAN)
        return()
    endif()
    set(page ${VORNAK_MAN_DIR}/${target}.1)
    # help2man writes as it goes: a program that fails half-way must not leave a page behind
    # that the next build takes as up to date, hence the scratch name and the rename.
    add_custom_command(
        OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VORNAK_MAN_DIR}
        COMMAND ${VORNAK_HELP2MAN} --no-info --section=1 --name=${description} ${ARGN}
                --output=${page}.part $<TARGET_FILE:${target}>
        COMMAND ${CMAKE_COMMAND} -E rename ${page}.part ${page}
        DEPENDS ${target}
        COMMENT "Writing the man page ${target}.1"
        VERBATIM)
    add_custom_target(${target}_man_page ALL DEPENDS ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

vornak_add_man_page(vornak "capture HDV camcorder tapes over FireWire and split them into scenes")
vornak_add_man_page(vornak-split "split HDV transport-stream files into one file per scene")
vornak_add_man_page(vornak-mktape "write synthetic HDV tapes for tests and demos")
vornak_add_man_page(vornak-capture "capture an HDV camcorder's tape over FireWire")
