# Run by cpack after it has installed the project into its staging folder and before it packs
# it (CPACK_PRE_BUILD_SCRIPTS, set in Packaging.cmake). Only the Debian package is touched.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

find_program(gzip_program gzip REQUIRED)
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${usr}")
    message(FATAL_ERROR "DebianStaging.cmake: no staged tree at ${usr}")
endif()

function(gzip_in_place file)
    execute_process(COMMAND "${gzip_program}" -9 -n -f "${file}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip -9n ${file} failed (${status})")
    endif()
endfunction()

file(GLOB pages "${usr}/${CPACK_VORNAK_MANDIR}/man1/*.1")
foreach(page IN LISTS pages)
    gzip_in_place("${page}")
endforeach()

set(doc "${usr}/share/doc/vornak")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_VORNAK_CHANGELOG}" "${doc}/changelog.Debian")
gzip_in_place("${doc}/changelog.Debian")
