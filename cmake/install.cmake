# install.cmake - what `cmake --install` puts under the prefix, and the
# Debian package that CPack makes of it.
#
#   bin/cesetup, bin/cedevice            the programs
#   lib/libcesupport.so.1                the support library (and its links)
#   include/cesupport/                   its headers and the platform types they need
#   lib/pkgconfig/cesupport.pc           pkg-config: cesupport
#   lib/cmake/cesupport/                 CMake: find_package(cesupport), cesupport::cesupport
include(CMakePackageConfigHelpers)

install(TARGETS cesetup cedevice RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS cesupport EXPORT cesupportTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/cesupport)

# The library's four headers, and the platform headers that windows.h
# gathers (the types, constants and calls they are written with).
set(CESUPPORT_PUBLIC_HEADERS
  support/xec.h support/xstr.h support/xfile.h support/supp.h
  platform/include/windows.h platform/include/windef.h platform/include/winerror.h
  platform/include/winbase.h platform/include/winnls.h platform/include/winreg.h
  platform/include/wingdi.h platform/include/winuser.h)
list(TRANSFORM CESUPPORT_PUBLIC_HEADERS PREPEND ${CMAKE_SOURCE_DIR}/)
install(FILES ${CESUPPORT_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/cesupport)

configure_file(${CMAKE_SOURCE_DIR}/cmake/cesupport.pc.in ${CMAKE_BINARY_DIR}/cesupport.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/cesupport.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/cesupport)
install(EXPORT cesupportTargets NAMESPACE cesupport:: DESTINATION ${_cmakedir})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/cesupportConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cesupportConfig.cmake INSTALL_DESTINATION ${_cmakedir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cesupportConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cesupportConfig.cmake ${CMAKE_BINARY_DIR}/cesupportConfigVersion.cmake
  DESTINATION ${_cmakedir})

# cpack -G DEB (in the build folder) makes build/cesetup_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cesetup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "cesetup developers <cesetup@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Windows CE setup program on an emulated device, and its support library for other programs")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The package's dependencies are read from the binaries when Debian's tool
# for it (dpkg-dev) is there; SDL, loaded only by the gui front end, is
# named since no binary links it; so is ncurses, loaded only by the tui.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libx11-6, libsdl2-2.0-0, libncursesw6")
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
include(CPack)
