# Installation and packages: the library with its headers (and the .def and import library
# on Windows), a CMake package giving quenlex::quenlex, a pkg-config file, and CPack rules
# (a Debian package of the Linux build, a zip of each Windows build). The command-line host
# installs itself from tools/. Included from the top-level CMakeLists.txt, where the
# library target is defined.
include(CMakePackageConfigHelpers)

set(QUENLEX_DESCRIPTION "Simple, exact access to one serial port through nine plain C functions")

set(QUENLEX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quenlex)

install(TARGETS quenlex EXPORT quenlexTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quenlex.h ${PROJECT_SOURCE_DIR}/include/quenlex_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  # The exports with their ordinals: what other toolchains make an import library from.
  install(FILES ${PROJECT_SOURCE_DIR}/resources/quenlex.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

# find_package(quenlex) -> quenlex::quenlex, relocatable with the prefix.
install(EXPORT quenlexTargets NAMESPACE quenlex:: DESTINATION ${QUENLEX_CMAKE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/quenlexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/quenlexConfig.cmake INSTALL_DESTINATION ${QUENLEX_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/quenlexConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/quenlexConfig.cmake ${PROJECT_BINARY_DIR}/quenlexConfigVersion.cmake
  DESTINATION ${QUENLEX_CMAKE_PACKAGE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so the file stays right
# whatever prefix the tree is installed or unpacked into.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QUENLEX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _quenlex_pc_up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" _quenlex_pc_up "${_quenlex_pc_up}")
  set(QUENLEX_PC_PREFIX "\${pcfiledir}/${_quenlex_pc_up}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quenlex.pc.in ${PROJECT_BINARY_DIR}/quenlex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quenlex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The README and the docs: at the top of a Windows zip, in the doc folder elsewhere.
if(WIN32)
  set(_quenlex_doc_dir .)
else()
  set(_quenlex_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/README.md)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${_quenlex_doc_dir})
endif()
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${_quenlex_doc_dir}/docs
    FILES_MATCHING PATTERN "*.md")
endif()

# CPack: `cpack` in the build folder.
set(CPACK_PACKAGE_NAME quenlex)
set(CPACK_PACKAGE_VENDOR "quenlex")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${QUENLEX_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "quenlex maintainers <maintainers@quenlex.invalid>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  # What a Windows user downloads: bin/quenlex.dll and quenlex.exe, include/, lib/ with the
  # import library and the .def, the README.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_quenlex_win win64)
  else()
    set(_quenlex_win win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quenlex-${PROJECT_VERSION}-${_quenlex_win})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The quenlex library, its C header, its CMake and pkg-config files, and the\n quenlex command-line host with a built-in virtual device.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The host links the library of this same package.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
endif()
include(CPack)
