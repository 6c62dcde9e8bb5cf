# Cross build for 32-bit Windows with Debian's MinGW-w64.
set(TARVEL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Programs and tests run in a 32-bit Wine prefix of their own, as on 32-bit Windows.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --win32)
