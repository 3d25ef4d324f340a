# 64-bit ARM Linux, cross-built against the arm64 packages of Debian's
# multiarch (Boost, TurboJPEG, the C and C++ runtimes); ctest runs the
# programs under qemu-aarch64 when it is installed.
#
# The compiler is clang for the aarch64-linux-gnu target: Debian's GCC cross
# compiler (g++-aarch64-linux-gnu) cannot be installed beside g++-multilib,
# which the 32-bit x86 build needs. -DUEYE_AARCH64_GCC=ON takes GCC instead.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES UEYE_AARCH64_GCC)
if(UEYE_AARCH64_GCC)
  set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
  set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
else()
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
  set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
endif()
# Multiarch: the arm64 libraries and their CMake files lie under
# /usr/lib/aarch64-linux-gnu, beside the host's own.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
find_program(QEMU_AARCH64_PROGRAM qemu-aarch64)
if(QEMU_AARCH64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64_PROGRAM})
endif()
