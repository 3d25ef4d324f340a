# Boost for mingw-w64 builds: the installed Boost headers, and Boost.Thread and
# Boost.Chrono as static libraries that scripts/mingw-boost.sh compiles from
# Debian's source package into the build folder (once; later runs reuse them).
set(MINGW_BOOST_ROOT ${CMAKE_BINARY_DIR}/boost)
execute_process(
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/mingw-boost.sh ${MINGW_TRIPLET} ${MINGW_BOOST_ROOT}
  RESULT_VARIABLE boost_result)
if(NOT boost_result EQUAL 0)
  message(FATAL_ERROR "scripts/mingw-boost.sh failed for ${MINGW_TRIPLET}")
endif()

set(MINGW_BOOST_INCLUDE_DIR ${MINGW_BOOST_ROOT}/include)
set(MINGW_BOOST_LIBRARY_DIR ${MINGW_BOOST_ROOT}/lib)
include(${CMAKE_CURRENT_LIST_DIR}/MingwBoostTargets.cmake)

# The Boost version the libraries were compiled from: the installed package
# requires headers of the same version.
file(STRINGS ${MINGW_BOOST_INCLUDE_DIR}/boost/version.hpp MINGW_BOOST_VERSION
  REGEX "^#define BOOST_VERSION [0-9]+$")
string(REGEX REPLACE ".* " "" MINGW_BOOST_VERSION "${MINGW_BOOST_VERSION}")
