# 32-bit Windows, the system's own target. Compiled and linked here; 32-bit Wine is not to be had.
set(TOVAK_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
