# Warnings for our own targets only; third-party code is compiled with its own flags. They are
# errors only where we choose (our presets and CI): a packager's compiler may warn where ours
# does not.
add_library(kx_warnings INTERFACE)
if(MSVC)
    target_compile_options(kx_warnings INTERFACE /W4 $<$<BOOL:${KX_WARNINGS_AS_ERRORS}>:/WX>)
else()
    target_compile_options(kx_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
        -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
        -Wimplicit-fallthrough $<$<BOOL:${KX_WARNINGS_AS_ERRORS}>:-Werror>)
endif()
