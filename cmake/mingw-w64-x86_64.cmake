# Cross-builds the programs and the test suite for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64-posix: the posix thread model, which std::thread needs):
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Everything is linked statically, so oskev.exe and oskev-v1.0.exe run on any 64-bit Windows
# without DLLs of the compiler beside them. Where Wine is installed (Debian's wine64), the
# tests run under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OSKEV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OSKEV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSKEV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${OSKEV_MINGW}-windres)

# Libraries and headers of the target only; the header-only libraries of the build machine
# are brought in one by one (cmake/HostHeaders.cmake), never the whole of /usr/include.
set(CMAKE_FIND_ROOT_PATH /usr/${OSKEV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, through a script that keeps Wine's settings in the build
# folder and its messages off the test output.
find_program(OSKEV_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(OSKEV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
