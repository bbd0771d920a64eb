# Plants includes against the layering into a copy of the tree, one at a time, and expects the
# include-layer check to fail naming the file and the reason; exempt folders and includes within
# the layering must pass. Arguments: SOURCE_DIR, LAYER_MAP, CHECK (the check script), WORK.
cmake_minimum_required(VERSION 3.25)
include(${LAYER_MAP})

# The copy: every folder and file a library holds.
file(REMOVE_RECURSE ${WORK})
set(tree ${WORK}/tree)
foreach(layer IN LISTS OLVU_LAYERS)
  foreach(path IN LISTS OLVU_LAYER_${layer}_PATHS)
    string(REGEX REPLACE "/$" "" path "${path}")
    if(IS_DIRECTORY ${SOURCE_DIR}/${path})
      file(COPY ${SOURCE_DIR}/${path} DESTINATION ${tree})
    elseif(EXISTS ${SOURCE_DIR}/${path})
      get_filename_component(dir ${path} DIRECTORY)
      file(COPY ${SOURCE_DIR}/${path} DESTINATION ${tree}/${dir})
    endif()
  endforeach()
endforeach()

set(failures 0)

# Runs the check on the copy; `expect` is PASS or a regular expression the failure must match.
function(run_check label expect)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -DLAYER_MAP=${LAYER_MAP} -P ${CHECK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(ok FALSE)
  if(expect STREQUAL "PASS")
    if(rc EQUAL 0)
      set(ok TRUE)
    endif()
  elseif(NOT rc EQUAL 0 AND "${err}" MATCHES "${expect}")
    set(ok TRUE)
  endif()
  if(NOT ok)
    message(SEND_ERROR "${label}: expected ${expect}, got exit ${rc}\n${out}${err}")
  endif()
endfunction()

# Appends `line` to the copy of `file` (created when missing), runs the check, then restores it.
function(plant label file line expect)
  set(path ${tree}/${file})
  set(saved "")
  set(existed FALSE)
  if(EXISTS ${path})
    set(existed TRUE)
    file(READ ${path} saved)
  endif()
  file(WRITE ${path} "${saved}\n${line}\n")
  run_check("${label}" "${expect}")
  if(existed)
    file(WRITE ${path} "${saved}")
  else()
    file(REMOVE ${path})
  endif()
endfunction()

run_check("unchanged copy" PASS)
plant("quoted include of a higher layer" solvers/sparsestruct.cpp "#include \"mesh/mesh.h\""
      "solvers/sparsestruct.cpp: #include \"mesh/mesh.h\": a header of layer 'mesh', above layer 'solvers'")
plant("relative include of a higher layer" foundation/error.cpp "#include \"../input/input.h\""
      "foundation/error.cpp: #include \"../input/input.h\": a header of layer 'input', above layer 'foundation'")
plant("angle include of a higher layer" input/units.h "#include <driver/problem.h>"
      "input/units.h: #include <driver/problem.h>: a header of layer 'driver', above layer 'input'")
plant("the Domain base class including a domain" domain/domain.h "#include \"domain/fluiddomain.h\""
      "domain/domain.h: #include \"domain/fluiddomain.h\": a header of layer 'domain', above layer 'domainbase'")
plant("the domain including the flow solution" domain/fluidstep.cpp "#include \"flow/flowsolver.h\""
      "domain/fluidstep.cpp: #include \"flow/flowsolver.h\": a header of layer 'flow', above layer 'domain'")
plant("the domain including a body set" domain/fluidsets.cpp "#include \"bodies/bodymesh.h\""
      "domain/fluidsets.cpp: #include \"bodies/bodymesh.h\": a header of layer 'bodies', above layer 'domain'")
plant("the flow solution including a body set" flow/turbulence.cpp "#include \"bodies/bodymesh.h\""
      "flow/turbulence.cpp: #include \"bodies/bodymesh.h\": a header of layer 'bodies', above layer 'flow'")
plant("a new file of a layer that does not link the one below" coupling/planted.cpp "#include \"mesh/node.h\""
      "coupling/planted.cpp: #include \"mesh/node.h\": a header of layer 'mesh', which layer 'coupling' does not link")
plant("the flow solution including the driver" flow/planted.cpp "#include \"driver/problem.h\""
      "flow/planted.cpp: #include \"driver/problem.h\": a header of layer 'driver', above layer 'flow'")
plant("a commented-out include is no include" mesh/mesh.h "// #include \"driver/problem.h\"" PASS)
plant("a header of the same layer by a relative path" mesh/planted.cpp "#include \"node.h\"" PASS)
plant("the driver including the Domain base class" driver/planted.cpp "#include \"domain/domain.h\"" PASS)
plant("tests are exempt" tests/planted_test.cpp "#include \"driver/problem.h\"" PASS)
plant("benchmarks are exempt" bench/planted_bench.cpp "#include \"driver/problem.h\"" PASS)
