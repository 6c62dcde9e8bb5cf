# Cross build for 64-bit Windows with Debian's MinGW-w64. The posix thread model is the one whose
# C++ library has std::thread and std::mutex, which the serial component's thread needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One .exe with its C, C++ and thread libraries inside: nothing to copy beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Programs and tests run under Wine (the wrapper keeps its prefix in the build tree).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
# GCC 12 warns of an overlapping copy inside the C++ library's `"text" + std::string` at -O2, a
# known false positive (GCC bug 105329) that its native build happens not to hit.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
