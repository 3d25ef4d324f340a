# The Boost targets of a mingw-w64 build: the Boost headers in
# MINGW_BOOST_INCLUDE_DIR (the folder holding boost/), and Boost.Thread and
# Boost.Chrono as static libraries in MINGW_BOOST_LIBRARY_DIR. Date_Time and
# System are header-only. Used by the build and by the installed package.
add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${MINGW_BOOST_INCLUDE_DIR}
  INTERFACE_COMPILE_DEFINITIONS BOOST_ALL_NO_LIB)
add_library(Boost::date_time ALIAS Boost::headers)
foreach(component chrono thread)
  add_library(Boost::${component} STATIC IMPORTED)
  set_target_properties(Boost::${component} PROPERTIES
    IMPORTED_LOCATION ${MINGW_BOOST_LIBRARY_DIR}/libboost_${component}.a
    INTERFACE_LINK_LIBRARIES Boost::headers)
endforeach()
set_property(TARGET Boost::thread APPEND PROPERTY INTERFACE_LINK_LIBRARIES Boost::chrono)
