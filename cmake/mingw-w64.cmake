# Shared part of the mingw-w64 toolchain files: the -win32 thread-model
# compilers of Debian's mingw-w64 packages, for MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
# i686 or x86_64, from the triplet: the image library builds its vector
# kernel levels for x86 processors.
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${MINGW_TRIPLET})
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The runtime is linked in, so the DLLs and programs import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
