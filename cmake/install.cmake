# Installation: the shared library with its soname links, the public
# header, the ktvec program, a CMake package (find_package(ktvec) gives
# ktvec::ktvec) and a pkg-config file.  Everything is relocatable: the
# package files find the library relative to where they are installed, so
# `cmake --install build --prefix DIR` works for any DIR.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KTVEC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ktvec)

# Windows knows the library as ktvec.dll (import library ktvec.dll.a), not
# with the "lib" prefix of the GNU toolchain.
if(WIN32)
  set_target_properties(ktvec PROPERTIES PREFIX "" IMPORT_PREFIX "")
endif()

install(TARGETS ktvec EXPORT ktvecTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/ktvec.h ${PROJECT_SOURCE_DIR}/include/ktvec_refine.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET ktvec_cli_program)
  install(TARGETS ktvec_cli_program RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT ktvecTargets NAMESPACE ktvec:: DESTINATION ${KTVEC_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ktvecConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ktvecConfig.cmake INSTALL_DESTINATION ${KTVEC_CMAKE_DIR})
# 0.x releases promise nothing across minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ktvecConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ktvecConfig.cmake ${PROJECT_BINARY_DIR}/ktvecConfigVersion.cmake
  DESTINATION ${KTVEC_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own folder.
if(NOT WIN32)
  file(RELATIVE_PATH KTVEC_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/ktvec.pc.in ${PROJECT_BINARY_DIR}/ktvec.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ktvec.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# What `make install` builds before installing: every target installed above
# and, when it is built, the Python module.
add_custom_target(ktvec_installables)
add_dependencies(ktvec_installables ktvec)
foreach(t ktvec_cli_program _ktvec)
  if(TARGET ${t})
    add_dependencies(ktvec_installables ${t})
  endif()
endforeach()
