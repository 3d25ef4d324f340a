# 64-bit Windows, cross-built with mingw-w64 (runs under wine64).
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# ctest runs the test programs under wine64 when it is installed.
find_program(WINE64_PROGRAM NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE64_PROGRAM NAMES wine64)
if(WINE64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_PROGRAM})
endif()
