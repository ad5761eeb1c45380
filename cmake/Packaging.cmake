# Debian packages (cpack -G DEB, from a build configured with -DCMAKE_INSTALL_PREFIX=/usr;
# scripts/package.sh does both), one per install component of cmake/Install.cmake:
#   libvarkoltprovider1      runtime: the library, its provider-directory link, MOF, registrations
#   libvarkoltprovider-dev   dev: header, pkg-config file, CMake package config
#   varkolt-tools            tools: vkt-cim and the other programs of tools/
#   varkolt-simulator        simulator: the fake OpenIPMI device behind `vkt-cim --simulate`;
#                            a package of its own, so that a server's tools never carry a libc
#                            interposer (varkolt-tools suggests it)
# Library dependencies come from dpkg-shlibdeps; our own packages depend on the runtime of
# exactly the same version.
set(VKT_PACKAGE_MAINTAINER "varkolt maintainers <maintainers@varkolt.invalid>" CACHE STRING
 "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varkolt)
set(CPACK_PACKAGE_VENDOR varkolt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VKT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools simulator)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Programs that link the library find it in the build tree; their dependency on it is the
# explicit one below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(VKT_DEB_RUNTIME libvarkoltprovider1)
set(VKT_DEB_SAME_RUNTIME "${VKT_DEB_RUNTIME} (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VKT_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)  # a shlibs file for the library package
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "CMPI providers for the IPMI BMC of rack servers
libvarkoltprovider.so.1 gives a CIM object manager (sfcb, OpenPegasus) 24 instance
providers in the namespace varkolt/cimv2: sensors, event log, FRU inventory, power
supplies, LAN settings, BMC users, multi-node chassis, Node Manager and ten action
classes. The class definitions and the sfcb and OpenPegasus registrations are in
/usr/share/varkolt.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvarkoltprovider-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${VKT_DEB_SAME_RUNTIME}")
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files of libvarkoltprovider
The header <varkolt/bmc.h> of the exported BMC configuration routines, with a
pkg-config file (varkolt) and a CMake package (find_package(varkolt)).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME varkolt-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${VKT_DEB_SAME_RUNTIME}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "varkolt-simulator (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tools of libvarkoltprovider
vkt-cim enumerates the library's CIM classes the way a CIM object manager does,
against the server's BMC or, with the varkolt-simulator package, a simulated one.")

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME varkolt-simulator)
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulated BMC for the varkolt tools
A simulated rack server behind a fake OpenIPMI device (a libc interposer kept in
/usr/libexec/varkolt), used by vkt-cim --simulate to try the library without a BMC.")

include(CPack)
