# Install layout. `cmake --install` installs the first three components; the Debian packages
# (debian/, scripts/package.sh) are cut from the same components, one package each.
#   runtime    libvarkoltprovider.so.1 in ${libdir}; libvarkoltprovider.so in the directory
#              where CIMOMs look for providers (VKT_CMPI_PROVIDER_DIR), a link to it; the
#              class definitions, the registrations and a README in ${datadir}/varkolt
#   dev        include/varkolt/bmc.h, the link libvarkoltprovider.so in ${libdir},
#              varkolt.pc and the CMake package config (find_package(varkolt))
#   tools      every program built from tools/, in ${bindir}; their man pages; vktool's bash
#              completion in ${datadir}/bash-completion/completions
#   simulator  the simulated server (simulator/) as the fake OpenIPMI device
#              libvktfakebmc.so, in ${libexecdir}/varkolt, installed only when asked for
#              (--component simulator): it interposes libc calls, so it never goes where a
#              dynamic linker could pick it up; the tools find it there relative to
#              themselves for --simulate
include(CMakePackageConfigHelpers)

set(VKT_CMPI_PROVIDER_DIR "${CMAKE_INSTALL_LIBDIR}/cmpi" CACHE STRING
  "Directory where the CIMOM looks for provider libraries (relative to the install prefix, or absolute)")

function(vkt_full_install_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

# ---- runtime ----------------------------------------------------------------------------
install(TARGETS varkoltprovider EXPORT varkoltTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The provider-directory entry: a relative link to the soname, so it stays right in a
# staging root (DESTDIR, a package) as on the target.
get_target_property(VKT_SOVERSION varkoltprovider SOVERSION)
set(VKT_SONAME libvarkoltprovider.so.${VKT_SOVERSION})
vkt_full_install_path(VKT_FULL_CMPI_PROVIDER_DIR "${VKT_CMPI_PROVIDER_DIR}")
file(RELATIVE_PATH VKT_CMPI_TO_LIB ${VKT_FULL_CMPI_PROVIDER_DIR} ${CMAKE_INSTALL_FULL_LIBDIR}/${VKT_SONAME})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cmpi-link)
file(CREATE_LINK ${VKT_CMPI_TO_LIB} ${CMAKE_BINARY_DIR}/cmpi-link/libvarkoltprovider.so SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/cmpi-link/libvarkoltprovider.so
  DESTINATION ${VKT_CMPI_PROVIDER_DIR} COMPONENT runtime)

configure_file(${CMAKE_SOURCE_DIR}/mof/README.in ${VKT_MOF_DIR}/README @ONLY)
install(FILES ${VKT_MOF_FILES} ${VKT_MOF_DIR}/README
  DESTINATION ${CMAKE_INSTALL_DATADIR}/varkolt COMPONENT runtime)

# ---- dev ----------------------------------------------------------------------------------
install(FILES ${CMAKE_SOURCE_DIR}/include/varkolt/bmc.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/varkolt COMPONENT dev)

# pkg-config: the prefix is found from the .pc file's own place, so the file stays right
# under any install prefix or staging root.
file(RELATIVE_PATH VKT_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VKT_PC_TO_PREFIX "${VKT_PC_TO_PREFIX}")
file(RELATIVE_PATH VKT_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH VKT_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${CMAKE_SOURCE_DIR}/cmake/varkolt.pc.in ${CMAKE_BINARY_DIR}/varkolt.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/varkolt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

set(VKT_CMAKE_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/varkolt)
install(EXPORT varkoltTargets NAMESPACE varkolt:: DESTINATION ${VKT_CMAKE_CONFIG_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/varkoltConfig.cmake.in
  ${CMAKE_BINARY_DIR}/varkoltConfig.cmake INSTALL_DESTINATION ${VKT_CMAKE_CONFIG_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/varkoltConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/varkoltConfig.cmake ${CMAKE_BINARY_DIR}/varkoltConfigVersion.cmake
  DESTINATION ${VKT_CMAKE_CONFIG_DIR} COMPONENT dev)

# ---- tools and simulator --------------------------------------------------------------------
if(VKT_BUILD_TOOLS)
  install(TARGETS vkt-cim vktool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  # The man pages name the simulated server's directory of this install.
  set(VKT_SIMULATOR_DIR ${CMAKE_INSTALL_FULL_LIBEXECDIR}/varkolt)
  foreach(page vktool.1 vkt-cim.1)
    configure_file(${CMAKE_SOURCE_DIR}/doc/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  endforeach()
  install(FILES ${VKT_COMPLETION_DIR}/vktool DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    COMPONENT tools)
  install(TARGETS vktfakebmc LIBRARY DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/varkolt
    COMPONENT simulator EXCLUDE_FROM_ALL)
endif()

# ---- checks of the layout ---------------------------------------------------------------------
# Installs this build into a scratch prefix and checks the files and what they let a
# CIMOM integrator and a C program do; tests/packaging/check_install.sh.
if(VKT_BUILD_TESTS)
  set(VKT_CONSUMER_CFLAGS "${CMAKE_C_FLAGS}")
  if(VKT_SANITIZE)
    string(APPEND VKT_CONSUMER_CFLAGS " -fsanitize=address,undefined")
  endif()
  add_test(NAME install.layout
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/check_install.sh ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_LIBDIR})
  set_tests_properties(install.layout PROPERTIES LABELS unit TIMEOUT 300
    ENVIRONMENT "CC=${CMAKE_C_COMPILER};CFLAGS=${VKT_CONSUMER_CFLAGS};CMAKE_GENERATOR=${CMAKE_GENERATOR}")
endif()
