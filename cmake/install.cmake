# What `cmake --install` puts where: the one list of installed programs and libraries, the public
# header, the pkg-config file, the CMake package of the library, the man pages and the README.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Programs and the shared libraries that are not linked against (loaded by other programs) go
# here; every installed program finds the installed libraries next to it, not the build tree.
set(TOV_INSTALLED_PROGRAMS tov tovsim tovsetup rdihost)
set(TOV_INSTALLED_MODULES tovrdi tovrdi_qt)
set(TOV_INSTALLED_HEADERS include/tovlink.h include/tov_types.h include/tovrdi.h)
set(TOV_INSTALLED_MAN_PAGES man/tov.1 man/tovsim.1)

set_target_properties(${TOV_INSTALLED_PROGRAMS} ${TOV_INSTALLED_MODULES} PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS ${TOV_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TOV_INSTALLED_MODULES)
  install(TARGETS ${TOV_INSTALLED_MODULES} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(TARGETS tovlink EXPORT tovlinkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${TOV_INSTALLED_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT tovlinkTargets NAMESPACE tov:: FILE tovlinkTargets.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tovlink)
configure_package_config_file(cmake/tovlinkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tovlinkConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tovlink)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tovlinkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tovlinkConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tovlinkConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tovlink)

# pkg-config: the prefix is taken from where the file itself lies, so a moved tree still works.
file(RELATIVE_PATH TOV_PC_TO_PREFIX
  /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/tovlink.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tovlink.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tovlink.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${TOV_INSTALLED_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
