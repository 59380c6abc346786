# 64-bit Windows. Tests run under Wine here; WINEPREFIX must name a prefix (scripts/wine-prefix.sh).
set(TOVAK_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
