# SPDX-License-Identifier: Apache-2.0
# Installs the suite into a fresh prefix, builds the glowball plug-in against
# the installed package, installs it beside the suite's plug-ins and cooks it
# with the installed sopcook.
#   cmake -DSUITE_BUILD=<build dir> -DWORK=<scratch dir> -DGENERATOR=<gen> -DCXX=<compiler> -P InstallAndCook.cmake
foreach(var SUITE_BUILD WORK GENERATOR CXX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "InstallAndCook.cmake: -D${var}=... missing")
  endif()
endforeach()

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
step(${CMAKE_COMMAND} --install ${SUITE_BUILD} --prefix ${prefix})
step(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK}/build -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
     -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_INSTALL_PREFIX=${prefix})
step(${CMAKE_COMMAND} --build ${WORK}/build)
step(${CMAKE_COMMAND} --install ${WORK}/build)

# The installed sopcook finds the suite's plug-ins and the new one in its
# plug-in folder, with no SOPCOOK_DSO_PATH.
set(sopcook ${prefix}/bin/sopcook)
step(${CMAKE_COMMAND} -E env --unset=SOPCOOK_DSO_PATH ${sopcook} list)
foreach(op glowball plumeweave strandcast)
  if(NOT out MATCHES "${op}")
    message(FATAL_ERROR "installed sopcook does not list ${op}:\n${out}")
  endif()
endforeach()
set(points ${CMAKE_CURRENT_LIST_DIR}/../data/points.geo)
step(${CMAKE_COMMAND} -E env --unset=SOPCOOK_DSO_PATH ${sopcook} cook glowball -i ${points} -s divs=8,8,8 -s radius=0.4
     -o ${WORK}/ball.vdb)
step(${sopcook} info ${WORK}/ball.vdb)
if(NOT out MATCHES "density" OR NOT out MATCHES "8x8x8")
  message(FATAL_ERROR "unexpected grids in ball.vdb:\n${out}")
endif()
message(STATUS "glowball cooked by the installed sopcook:\n${out}")

# Its own traits: the estimate uses its cost model (one volume, every voxel
# visited, never stops early) ...
step(${CMAKE_COMMAND} -E env --unset=SOPCOOK_DSO_PATH ${sopcook} cook glowball --estimate -i ${points} -s divs=8,8,8
     -o ${WORK}/estimate.vdb)
if(out MATCHES "no cost model" OR NOT out MATCHES "grid:    divs=8,8,8, 1 volume of 512 voxels"
   OR NOT out MATCHES "largest: divs=8,8,8 voxels" OR NOT out MATCHES "stops:   never early")
  message(FATAL_ERROR "glowball's estimate does not use its cost model:\n${out}")
endif()
# ... and the attribute check its attribute reads, worded by the operator.
step(${CMAKE_COMMAND} -E env --unset=SOPCOOK_DSO_PATH ${sopcook} cook glowball -i ${points} -s divs=8,8,8
     -s densityattrib=glow -o ${WORK}/dark.vdb)
if(NOT out MATCHES "input has no point attribute 'glow' \\(densityattrib\\): every density reads 0, so the ball stays 0")
  message(FATAL_ERROR "no attribute warning from glowball's traits:\n${out}")
endif()
message(STATUS "glowball's traits reach the estimate and the attribute check")
