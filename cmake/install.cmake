# Installation of the shared library for C and C++ projects: the header, the
# CMake package (find_package(eapaka) gives eapaka::eapaka) and a pkg-config
# file. Included from the top-level CMakeLists.txt after the eapaka target.
include(CMakePackageConfigHelpers)

set(EAPAKA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/eapaka)

install(TARGETS eapaka EXPORT eapakaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/include/eapaka/eapaka.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/eapaka COMPONENT Development)
install(EXPORT eapakaTargets NAMESPACE eapaka::
  DESTINATION ${EAPAKA_CMAKE_DIR} COMPONENT Development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/eapakaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/eapakaConfig.cmake INSTALL_DESTINATION ${EAPAKA_CMAKE_DIR})
# The major version is the soname: within it the ABI does not break.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/eapakaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/eapakaConfig.cmake ${PROJECT_BINARY_DIR}/eapakaConfigVersion.cmake
  DESTINATION ${EAPAKA_CMAKE_DIR} COMPONENT Development)

# The pkg-config file names the prefix the files are installed under, which
# `cmake --install --prefix` may change after configuration: it is written at
# install time.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(EAPAKA_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(EAPAKA_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
install(CODE "
  set(EAPAKA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(EAPAKA_PC_LIBDIR [==[${EAPAKA_PC_LIBDIR}]==])
  set(EAPAKA_PC_INCLUDEDIR [==[${EAPAKA_PC_INCLUDEDIR}]==])
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/eapaka.pc.in\" \"${PROJECT_BINARY_DIR}/eapaka.pc\" @ONLY)
" COMPONENT Development)
install(FILES ${PROJECT_BINARY_DIR}/eapaka.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
