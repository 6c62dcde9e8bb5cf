# What the 64-bit and 32-bit MinGW-w64 cross builds share; the including file sets
# TARVEL_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR. The posix thread model is the one whose C++
# library has std::thread and std::mutex, which the serial component's thread needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One .exe with its C, C++ and thread libraries inside: nothing to copy beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# GCC 12 warns of an overlapping copy inside the C++ library's `"text" + std::string` at -O2, a
# known false positive (GCC bug 105329) that its native build happens not to hit. Windows 7 is the
# oldest system the programs run on: the headers then hide every call it lacks.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
