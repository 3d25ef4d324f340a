# Install rules, the CMake package UeyeGrabber, the pkg-config file and the
# Debian package of the plug-in, its host program and its public headers.
# On Windows: the DLL with its import library, the host program with its
# frame module, the headers, the CMake package with the Boost libraries the
# interface needs, and the stand-in SDK in a folder of its own; packed as a
# zip by `cpack -G ZIP`.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(UEYE_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ueye_grabber)
if(NOT WIN32) # a Windows host loads ueye_grabber.dll by that name
  set_target_properties(ueye_grabber PROPERTIES VERSION ${PROJECT_VERSION}
                                                SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
# The build tree's include folder becomes the installed header folder, where
# the headers keep their subfolders so that their own includes resolve.
set_property(TARGET ueye_grabber PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}> $<INSTALL_INTERFACE:${UEYE_INCLUDE_DIR}>)

install(TARGETS ueye_grabber EXPORT UeyeGrabberTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# What a host or a user of the image library includes, and what those
# headers include in turn.
set(UEYE_PUBLIC_HEADERS
  grabber/FrameGrabber.h grabber/GrabberEntryPoints.h
  image/CxImage.h image/PixelAccess.inl
  stream/CxFile.h stream/CxIOFile.h stream/CxMemFile.h
  interpolation/CxPoint2.h interpolation/CxRect2.h
  platform/Export.h platform/WinTypes.h platform/WinRegion.h)
foreach(header ${UEYE_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${UEYE_INCLUDE_DIR}/${folder})
endforeach()

install(EXPORT UeyeGrabberTargets NAMESPACE UeyeGrabber::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/UeyeGrabber)
configure_package_config_file(cmake/package/UeyeGrabberConfig.cmake.in
  ${CMAKE_BINARY_DIR}/UeyeGrabberConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/UeyeGrabber)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/UeyeGrabberConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/UeyeGrabberConfig.cmake
  ${CMAKE_BINARY_DIR}/UeyeGrabberConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/UeyeGrabber)

if(WIN32)
  # Boost.Thread and Boost.Chrono as the plug-in was linked with, and the
  # package file that makes their targets.
  install(FILES ${MINGW_BOOST_LIBRARY_DIR}/libboost_thread.a ${MINGW_BOOST_LIBRARY_DIR}/libboost_chrono.a
    DESTINATION ${CMAKE_INSTALL_LIBDIR})
  configure_file(cmake/package/UeyeGrabberBoost.cmake.in
    ${CMAKE_BINARY_DIR}/UeyeGrabberBoost.cmake @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/UeyeGrabberBoost.cmake cmake/MingwBoostTargets.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/UeyeGrabber)
  # The stand-in SDK apart from the plug-in, so that it is never shipped in
  # place of the real SDK library by mistake: copied beside a program only
  # to run it without a camera.
  install(FILES $<TARGET_FILE:ueye_api> DESTINATION sim)
else()
  configure_file(cmake/package/ueye_grabber.pc.in ${CMAKE_BINARY_DIR}/ueye_grabber.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/ueye_grabber.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The Debian package, made by `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME ueye-grabber)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Camera plug-in maintainers <maintainers@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Camera plug-in with its image library, host program and development files")
if(NOT WIN32)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Library dependencies are read off the binaries; the development files need
# the Boost headers and libraries the package configuration finds.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libboost-thread-dev, libboost-date-time-dev, libboost-chrono-dev")
# The Python package over the C interface needs numpy.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-numpy")
include(CPack)
