# mingw-w64 x86_64 with posix threads; test binaries run through wine64 in the
# prefix build/win64/wineprefix.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PALOMA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run win64)
