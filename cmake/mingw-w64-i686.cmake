# mingw-w64 i686 with posix threads: the shipped 32-bit build. These machines
# cannot execute 32-bit code, so there is no emulator and no test run.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PALOMA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
