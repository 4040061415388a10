# Debian packages, built by CPack's DEB generator (scripts/package):
#
#   libhnasmgmt0     the shared libraries libhnasmgmt and libhnasmgmt_host
#   libhnasgwsim0    the shared library of the gateway simulator (libhnasgwsim)
#   libhnasmgmt-dev  headers and link names of both, the CMake package and
#                    hnasmgmt.pc, for hosts and their in-process tests
#   hnasmgmt-tools   hnasctl and hnas-gateway-sim, their manual pages and
#                    bash completion; it needs the two runtime packages only
#
# One package per install component (runtime, simulator, dev, tools). Dependencies on
# other Debian packages come from the binaries (dpkg-shlibdeps); those between
# the three are exact versions. Each package carries the copyright file and
# the Debian changelog, and lintian's overrides (packaging/lintian: each says
# why), which plain `cmake --install` leaves out. The two packages holding
# shared libraries activate the ldconfig trigger.

set(HNASMGMT_DEB_RELEASE 1)
set(HNASMGMT_DEB_VERSION ${PROJECT_VERSION}-${HNASMGMT_DEB_RELEASE})
set(HNASMGMT_DEB_PACKAGES runtime libhnasmgmt0 simulator libhnasgwsim0 dev libhnasmgmt-dev tools
                          hnasmgmt-tools)

set(HNASMGMT_DEB_DOC ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${HNASMGMT_DEB_DOC}/changelog.Debian
               @ONLY)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
add_custom_command(
  OUTPUT ${HNASMGMT_DEB_DOC}/changelog.Debian.gz
  COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${HNASMGMT_DEB_DOC}/changelog.Debian
          > ${HNASMGMT_DEB_DOC}/changelog.Debian.gz
  DEPENDS ${HNASMGMT_DEB_DOC}/changelog.Debian
  VERBATIM)
add_custom_target(hnasmgmt-deb-changelog ALL DEPENDS ${HNASMGMT_DEB_DOC}/changelog.Debian.gz)

set(components ${HNASMGMT_DEB_PACKAGES})
while(components)
  list(POP_FRONT components component package)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${HNASMGMT_DEB_DOC}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/${package}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component}
          EXCLUDE_FROM_ALL)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
endwhile()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hnasmgmt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "hnasmgmt developers")
set(CPACK_PACKAGE_CONTACT "hnasmgmt developers <hnasmgmt@example.org>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime simulator dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${HNASMGMT_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries of this build, for dpkg-shlibdeps to read (their packages are
# named below, as exact versions).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src
    ${PROJECT_BINARY_DIR}/tools/hnas-gateway-sim)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "manage HNAS file-storage arrays through their REST gateway
hnasmgmt manages a network-attached file-storage array over its REST
management gateway (HTTPS and JSON): identity and health, virtual servers,
file systems, snapshots, CIFS and NFS shares with their permissions, and
directories.
.
This package holds the shared libraries: libhnasmgmt, the library proper,
and libhnasmgmt_host, its HTTP client and logging.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)

set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
    "manage HNAS file-storage arrays - gateway simulator library
hnasmgmt manages a network-attached file-storage array over its REST
management gateway (HTTPS and JSON).
.
This package holds libhnasgwsim, a simulated gateway with an in-memory
array, which hnas-gateway-sim serves and a host's test suite runs
in-process.")
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)

set(CPACK_COMPONENT_DEV_DESCRIPTION
    "manage HNAS file-storage arrays - development files
hnasmgmt manages a network-attached file-storage array over its REST
management gateway (HTTPS and JSON).
.
This package holds the headers, the CMake package (find_package(hnasmgmt))
and the pkg-config file, and the headers of libhnasgwsim, a simulated
gateway that a host's test suite runs in-process.")
set(CPACK_COMPONENT_DEV_DEPENDS runtime simulator)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libboost-dev, libcurl4-openssl-dev | libcurl-dev, libssl-dev")

set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "manage HNAS file-storage arrays - command-line tools
hnasmgmt manages a network-attached file-storage array over its REST
management gateway (HTTPS and JSON).
.
This package holds hnasctl, the command-line tool for operators and
scripts, and hnas-gateway-sim, a simulated gateway for demonstrations and
tests, with their manual pages and bash completion.")
# hnasctl runs on libhnasmgmt, hnas-gateway-sim on libhnasgwsim: the runtime
# packages, not the development files (nor the compiler headers they need).
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime simulator)
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION net)

include(CPack)
