# Vector kernel units: each is written once and compiled once per
# instruction-set level, every copy with its own level's target flags and
# nothing else built with them. The library picks one copy per family at run
# time (image/SimdLevel.h). On AArch64 the portable level and neon are built;
# elsewhere only the portable one.
set(UEYE_KERNEL_UNITS
  transform/ResizeKernels.cpp transform/TurnKernels.cpp transform/ToneKernels.cpp
  interpolation/GreyBilinearKernels.cpp interpolation/ColourBilinearKernels.cpp
  interpolation/RotatedRowKernels.cpp interpolation/WalkKernels.cpp
  interpolation/CubicWeightKernels.cpp interpolation/AreaKernels.cpp)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86|x86_64|AMD64|amd64)$")
  set(UEYE_SIMD_X86 ON)
  set(UEYE_SIMD_LEVELS none sse2 avx2 avx512)
  # The level choice reads the processor's features only where the levels
  # above the portable one are built.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/image/SimdLevel.cpp PROPERTIES
    COMPILE_DEFINITIONS UEYE_SIMD_X86)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  # NEON is part of every AArch64 processor: the neon level takes the sse2
  # level's place (index 1) with lanes of the same widths, so the kernel
  # units' level-1 code serves it.
  set(UEYE_SIMD_X86 OFF)
  set(UEYE_SIMD_LEVELS none neon)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/image/SimdLevel.cpp PROPERTIES
    COMPILE_DEFINITIONS UEYE_SIMD_NEON)
else()
  set(UEYE_SIMD_X86 OFF)
  set(UEYE_SIMD_LEVELS none)
endif()
set(UEYE_SIMD_FLAGS_none "")
set(UEYE_SIMD_FLAGS_sse2 "")
set(UEYE_SIMD_FLAGS_neon -DUEYE_SIMD_NEON)
set(UEYE_SIMD_FLAGS_avx2 -mavx2 -mfma)
set(UEYE_SIMD_FLAGS_avx512 -mavx2 -mfma -mavx512f -mavx512bw -mavx512dq -mavx512vl)
# GCC 12's own intrinsic headers leave the unused lanes of some results
# undefined on purpose and then warn about them as maybe uninitialised.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND UEYE_SIMD_FLAGS_avx2 -Wno-maybe-uninitialized)
  list(APPEND UEYE_SIMD_FLAGS_avx512 -Wno-maybe-uninitialized)
endif()
if(WIN32)
  # 64-bit Windows aligns the stack to 16 bytes only: aligned moves of wider
  # spills would fault, so the assembler turns them into unaligned ones.
  list(APPEND UEYE_SIMD_FLAGS_avx2 -Wa,-muse-unaligned-vector-move)
  list(APPEND UEYE_SIMD_FLAGS_avx512 -Wa,-muse-unaligned-vector-move)
endif()

# The sources of every level's copy of every kernel unit: small generated
# files that define the level and include the unit.
function(ueye_kernel_sources out_var)
  set(sources)
  list(LENGTH UEYE_SIMD_LEVELS count)
  math(EXPR last "${count} - 1")
  foreach(unit ${UEYE_KERNEL_UNITS})
    get_filename_component(name ${unit} NAME_WE)
    foreach(index RANGE ${last})
      list(GET UEYE_SIMD_LEVELS ${index} level)
      set(copy ${CMAKE_BINARY_DIR}/kernels/${name}_${level}.cpp)
      file(CONFIGURE OUTPUT ${copy} CONTENT
        "#define UEYE_SIMD_LEVEL ${index}\n#define UEYE_SIMD_NAME ${level}\n#include \"${unit}\"\n")
      set_source_files_properties(${copy} PROPERTIES
        COMPILE_OPTIONS "${UEYE_SIMD_FLAGS_${level}}"
        OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/${unit})
      list(APPEND sources ${copy})
    endforeach()
  endforeach()
  set(${out_var} ${sources} PARENT_SCOPE)
endfunction()
list(TRANSFORM UEYE_KERNEL_UNITS PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE UEYE_KERNEL_UNITS_FULL)
