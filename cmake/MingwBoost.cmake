# Boost for mingw-w64 builds: the installed Boost headers, and Boost.Thread and
# Boost.Chrono as static libraries that scripts/mingw-boost.sh compiles from
# Debian's source package into the build folder (once; later runs reuse them).
# Date_Time and System are header-only.
set(MINGW_BOOST_ROOT ${CMAKE_BINARY_DIR}/boost)
execute_process(
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/mingw-boost.sh ${MINGW_TRIPLET} ${MINGW_BOOST_ROOT}
  RESULT_VARIABLE boost_result)
if(NOT boost_result EQUAL 0)
  message(FATAL_ERROR "scripts/mingw-boost.sh failed for ${MINGW_TRIPLET}")
endif()

add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${MINGW_BOOST_ROOT}/include
  INTERFACE_COMPILE_DEFINITIONS BOOST_ALL_NO_LIB)
add_library(Boost::date_time ALIAS Boost::headers)
foreach(component chrono thread)
  add_library(Boost::${component} STATIC IMPORTED)
  set_target_properties(Boost::${component} PROPERTIES
    IMPORTED_LOCATION ${MINGW_BOOST_ROOT}/lib/libboost_${component}.a
    INTERFACE_LINK_LIBRARIES Boost::headers)
endforeach()
set_property(TARGET Boost::thread APPEND PROPERTY INTERFACE_LINK_LIBRARIES Boost::chrono)
