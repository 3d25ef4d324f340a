# Each level's copy of each kernel unit exports its table and nothing else
# (image/KernelUnit.h): any other global symbol, a function compiled with
# wider instructions included, could be taken at link time for the baseline
# copy of the same name.
#
#   cmake -DNM=<nm> -DOBJECTS=<object|object|...> -P CheckKernelExports.cmake
#
# OBJECTS lists the library's objects, separated by |; those of the kernel
# copies (kernels/<Unit>_<level>.cpp.o) are checked.
string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
set(failures "")
foreach(object IN LISTS objects)
  if(NOT object MATCHES "/kernels/([A-Za-z0-9]+)_(none|sse2|avx2|avx512|neon)\\.cpp\\.o$")
    continue()
  endif()
  set(table "k${CMAKE_MATCH_1}_${CMAKE_MATCH_2}")
  execute_process(COMMAND ${NM} -g --defined-only ${object}
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    string(APPEND failures "\n  ${object}: ${NM} failed: ${errors}")
    continue()
  endif()
  # One line a symbol: value, type, name.
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* " "" name "${line}")
    # 32-bit x86 position-independent code reads its address through the
    # compiler's thunks: two instructions, the same at every level.
    if(NOT name MATCHES "^__x86\\.get_pc_thunk\\.")
      list(APPEND names "${name}")
    endif()
  endforeach()
  if(NOT names STREQUAL table)
    string(APPEND failures "\n  ${object}: exports ${names}, not ${table} alone")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no kernel objects among: ${OBJECTS}")
endif()
if(failures)
  message(FATAL_ERROR "kernel objects exporting more than their table:${failures}")
endif()
message(STATUS "${checked} kernel objects, each exporting its table alone")
