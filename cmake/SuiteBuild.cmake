# SPDX-License-Identifier: Apache-2.0
# Helpers for this project's own build (not installed).
include(SopPlugin)

# The warnings this project's code compiles with; set per target so plug-ins
# built against the installed package choose their own.
set(SUITE_WARNING_FLAGS -Wall -Wextra -Wno-unused-parameter)
function(suite_warnings)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE ${SUITE_WARNING_FLAGS})
  endforeach()
endfunction()

# OpenVDB ships a find module (FindOpenVDB.cmake) rather than a package
# configuration on Debian; look for its folder under the usual prefixes.
macro(suite_find_openvdb)
  set(_suite_openvdb_dirs)
  foreach(_prefix ${CMAKE_PREFIX_PATH} ${CMAKE_SYSTEM_PREFIX_PATH})
    foreach(_libdir lib/${CMAKE_LIBRARY_ARCHITECTURE} lib64 lib)
      list(APPEND _suite_openvdb_dirs ${_prefix}/${_libdir}/cmake/OpenVDB)
    endforeach()
  endforeach()
  find_path(OPENVDB_FIND_MODULE_DIR FindOpenVDB.cmake PATHS ${_suite_openvdb_dirs} NO_DEFAULT_PATH
            DOC "Folder holding OpenVDB's FindOpenVDB.cmake")
  if(OPENVDB_FIND_MODULE_DIR)
    list(APPEND CMAKE_MODULE_PATH ${OPENVDB_FIND_MODULE_DIR})
  endif()
  # Debian's module needs Boost.Iostreams' CMake files and links Imath; found
  # here so the host program and its tests share the target.
  find_package(OpenVDB REQUIRED)
endmacro()

# Every plug-in add_sop_plugin made: this project's warnings, and installed
# into the plug-in folder.
function(suite_install_plugins)
  get_property(plugins GLOBAL PROPERTY SOP_PLUGINS)
  suite_warnings(${plugins})
  install(TARGETS ${plugins} LIBRARY DESTINATION ${SUITE_INSTALL_PLUGINDIR})
endfunction()
