# The guide læsmig.pdf is written by a Qt tool that runs on the build machine. A build for another
# machine (the Windows program, the page) has no such tool of its own, so a build of this project
# for the build machine writes the guide.
#
# kx_guide_from_host(<folder> [EXCLUDE_FROM_ALL]) copies that guide into <folder> and sets
# KX_GUIDE_PDF to the copy, the output of a custom command for the caller's targets to depend on.
# With EXCLUDE_FROM_ALL the host build runs only for a target that needs the guide.
include(ExternalProject)

function(kx_guide_from_host folder)
    cmake_parse_arguments(PARSE_ARGV 1 arg "EXCLUDE_FROM_ALL" "" "")
    set(host ${CMAKE_CURRENT_BINARY_DIR}/host-guide)
    ExternalProject_Add(kx_host_guide
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${host}
        CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DKX_BUILD_TESTS=OFF
        BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target kx_guide
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS <BINARY_DIR>/gui/qt/${KX_GUIDE_NAME}
        INSTALL_COMMAND ""
        EXCLUDE_FROM_ALL ${arg_EXCLUDE_FROM_ALL})
    set(pdf ${folder}/${KX_GUIDE_NAME})
    add_custom_command(
        OUTPUT ${pdf}
        COMMAND ${CMAKE_COMMAND} -E copy ${host}/gui/qt/${KX_GUIDE_NAME} ${pdf}
        DEPENDS kx_host_guide ${host}/gui/qt/${KX_GUIDE_NAME}
        VERBATIM)
    set(KX_GUIDE_PDF ${pdf} PARENT_SCOPE)
endfunction()
