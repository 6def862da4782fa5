# mingw-w64 i686 with posix threads: the shipped 32-bit build. Test binaries
# run through 32-bit Wine in a 32-bit prefix of their own (build/win32/wineprefix).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PALOMA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run win32)
