# Warnings for our own targets only; third-party code is compiled with its own flags.
add_library(kx_warnings INTERFACE)
if(MSVC)
    target_compile_options(kx_warnings INTERFACE /W4 /WX)
else()
    target_compile_options(kx_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
        -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
        -Wimplicit-fallthrough -Werror)
endif()
