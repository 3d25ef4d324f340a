# 64-bit ARM Linux, cross-built with Debian's GCC cross compiler against the
# arm64 libraries of multiarch (Boost, and the C and C++ runtimes the
# programs load); ctest runs the programs under qemu-aarch64 when it is
# installed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch: arm64 libraries and their CMake files under
# /usr/lib/aarch64-linux-gnu, beside the host's own.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
find_program(QEMU_AARCH64_PROGRAM qemu-aarch64)
if(QEMU_AARCH64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64_PROGRAM})
endif()
