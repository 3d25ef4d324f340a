# 64-bit Windows, cross-built with mingw-w64 (runs here under wine64).
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
