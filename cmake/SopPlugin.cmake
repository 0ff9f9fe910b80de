# SPDX-License-Identifier: Apache-2.0
# add_sop_plugin(NAME SOURCE... [LIBS lib...]): one surface-operator plug-in,
# a loadable module named after its operator (NAME.so, no "lib" prefix). It
# compiles the operator frame in and resolves the host's symbols from the
# process that loads it, so it must not link the host library.
#
# Shared by this project's build and by plug-ins built against the installed
# package (find_package(plumeweave_suite)).
function(add_sop_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 SOP "" "" "LIBS")
  add_library(${name} MODULE ${SOP_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE plumeweave_suite::frame ${SOP_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic)
  set_property(GLOBAL APPEND PROPERTY SOP_PLUGINS ${name})
endfunction()
