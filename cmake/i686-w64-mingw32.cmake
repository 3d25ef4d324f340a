# 32-bit Windows, cross-built with mingw-w64: the plug-in's real target.
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# SSE2 arithmetic: the x87 unit's extended precision would change results.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# ctest runs the test programs under the 32-bit wine when it is installed.
find_program(WINE32_PROGRAM NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(WINE32_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE32_PROGRAM})
endif()
