# Cross build for 64-bit Windows with Debian's mingw-w64. The posix-thread flavour of the
# compilers is the one whose libstdc++ has std::mutex. Programs built here run under wine
# through scripts/wine-run.sh, in a prefix of the build tree's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_vela_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_vela_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_vela_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_vela_triple}-windres)
# CMake cannot derive the binutils' prefix from a compiler name ending in -posix.
set(CMAKE_AR ${_vela_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_vela_triple}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${_vela_triple}-objdump CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${_vela_triple}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_vela_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: the host machine has none of mingw's runtime
# DLLs, and a missing one only shows as LoadLibrary error 126.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;${CMAKE_BINARY_DIR}/wine-prefix")
