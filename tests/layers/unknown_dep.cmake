# Configures tiny projects that declare libraries through olvu_library and expects a dependency
# that is misspelt, or declared above the library naming it, to stop CMake at configure time.
# Arguments: MODULE (cmake/OlvuLibrary.cmake), WORK.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/src/low ${WORK}/src/high)
file(WRITE ${WORK}/src/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(layers_probe LANGUAGES NONE)
include(${MODULE})
olvu_library(low  DIRS low  DEPS \${LOW_DEPS})
olvu_library(high DIRS high DEPS \${HIGH_DEPS})
")

# Configures with the given dependencies; `expect` is PASS or a regular expression of the error.
function(probe label low_deps high_deps expect)
  string(MAKE_C_IDENTIFIER "${label}" bin)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/src -B ${WORK}/${bin} "-DLOW_DEPS=${low_deps}"
                          "-DHIGH_DEPS=${high_deps}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect STREQUAL "PASS")
    if(NOT rc EQUAL 0)
      message(SEND_ERROR "${label}: configure failed\n${out}${err}")
    endif()
  elseif(rc EQUAL 0 OR NOT "${err}" MATCHES "${expect}")
    message(SEND_ERROR "${label}: expected a configure error matching '${expect}', got exit ${rc}\n${out}${err}")
  endif()
endfunction()

probe("dependency declared below" "" "low" PASS)
probe("misspelt dependency" "" "lwo" "olvu_high: dependency 'lwo' is not a library declared below it")
probe("dependency declared above" "high" "" "olvu_low: dependency 'high' is not a library declared below it")
