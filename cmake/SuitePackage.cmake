# SPDX-License-Identifier: Apache-2.0
# The installed CMake package: find_package(plumeweave_suite) gives
#   plumeweave_suite::host_headers  the host's headers (what plug-ins compile against)
#   plumeweave_suite::frame         the operator frame, linked into each plug-in
#   plumeweave_suite::host          the host library, for host programs
#   add_sop_plugin()                 builds a plug-in sopcook loads
#   plumeweave_suite_PLUGIN_DIR      the folder installed sopcook loads plug-ins from
include(CMakePackageConfigHelpers)

install(EXPORT plumeweave_suite NAMESPACE plumeweave_suite:: FILE plumeweave_suiteTargets.cmake
        DESTINATION ${SUITE_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/plumeweave_suiteConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/plumeweave_suiteConfig.cmake
                              INSTALL_DESTINATION ${SUITE_INSTALL_CMAKEDIR}
                              PATH_VARS SUITE_INSTALL_PLUGINDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/plumeweave_suiteConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/plumeweave_suiteConfig.cmake
              ${CMAKE_BINARY_DIR}/plumeweave_suiteConfigVersion.cmake
              ${CMAKE_CURRENT_LIST_DIR}/SopPlugin.cmake
        DESTINATION ${SUITE_INSTALL_CMAKEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
