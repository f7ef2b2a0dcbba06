# The page: the program's layers compiled to WebAssembly with Debian's emscripten.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# Exceptions are caught (every command reports its failure), so every layer unwinds through
# JavaScript's.
set(CMAKE_CXX_FLAGS_INIT "-fexceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions")
# emscripten's JavaScript passes at link time load acorn from node's module folder.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
