# Libraries declared bottom-up, each with an include root of its own (see the README's layout).

# Every source path is written from the top of the tree ("foundation/error.h"), but no target
# sees the whole tree: each library gets an include root of its own under the build folder that
# links only its own folders (or files), and reaches the headers of the layers below it through
# the libraries it links. A header of a layer above is then simply not found.
set(OLVU_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)
# Which folders and files each library holds and which libraries it links, for scripts/layercheck.cmake.
set(OLVU_LAYER_MAP ${OLVU_LAYER_ROOT}/map.cmake)

# Makes `root`/`path` a link to the source `path` (a folder or a file).
function(olvu_expose root path)
  get_filename_component(parent ${root}/${path} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${path})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endif()
endfunction()

# olvu_library(NAME DIRS <folder>... [FILES <file stem>...] [EXCLUDE <file>...] [DEPS <library>...])
# Library olvu_NAME from every .cpp of DIRS (less EXCLUDE) and the .h/.cpp of each FILES stem
# (path from the top, without extension), linking the libraries DEPS, which must already exist:
# libraries are declared bottom-up, so naming one that is above, misspelt or missing is an error.
function(olvu_library name)
  cmake_parse_arguments(L "" "" "DIRS;FILES;EXCLUDE;DEPS" ${ARGN})
  set(root ${OLVU_LAYER_ROOT}/${name})
  set(srcs)
  foreach(dir IN LISTS L_DIRS)
    olvu_expose(${root} ${dir})
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND srcs ${found})
  endforeach()
  foreach(stem IN LISTS L_FILES)
    olvu_expose(${root} ${stem}.h)
    if(EXISTS ${PROJECT_SOURCE_DIR}/${stem}.cpp)
      list(APPEND srcs ${PROJECT_SOURCE_DIR}/${stem}.cpp)
    endif()
  endforeach()
  foreach(file IN LISTS L_EXCLUDE)
    list(REMOVE_ITEM srcs ${PROJECT_SOURCE_DIR}/${file})
  endforeach()
  foreach(dep IN LISTS L_DEPS)
    if(NOT TARGET olvu_${dep})
      message(FATAL_ERROR "olvu_${name}: dependency '${dep}' is not a library declared below it")
    endif()
  endforeach()
  list(TRANSFORM L_DEPS PREPEND olvu_)
  if(srcs)
    add_library(olvu_${name} STATIC ${srcs})
    target_include_directories(olvu_${name} PUBLIC ${root})
    target_link_libraries(olvu_${name} PUBLIC ${L_DEPS})
  else()
    # A layer without sources yet still carries its include root and dependencies.
    add_library(olvu_${name} INTERFACE)
    target_include_directories(olvu_${name} INTERFACE ${root})
    target_link_libraries(olvu_${name} INTERFACE ${L_DEPS})
  endif()
  set_property(GLOBAL APPEND PROPERTY OLVU_LIBRARIES ${name})
  # The layer map: folders as "dir/", files with their extensions.
  set(paths)
  foreach(dir IN LISTS L_DIRS)
    list(APPEND paths ${dir}/)
  endforeach()
  foreach(stem IN LISTS L_FILES)
    list(APPEND paths ${stem}.h ${stem}.cpp)
  endforeach()
  list(TRANSFORM L_DEPS REPLACE "^olvu_" "")
  set_property(GLOBAL APPEND_STRING PROPERTY OLVU_LAYER_MAP_TEXT
               "list(APPEND OLVU_LAYERS ${name})\nset(OLVU_LAYER_${name}_PATHS \"${paths}\")\nset(OLVU_LAYER_${name}_DEPS \"${L_DEPS}\")\n")
endfunction()

# Writes the layer map of every library declared so far to `file`, a script that sets
# OLVU_LAYERS (lowest first) and, per layer, OLVU_LAYER_<name>_PATHS and OLVU_LAYER_<name>_DEPS.
function(olvu_write_layer_map file)
  get_property(text GLOBAL PROPERTY OLVU_LAYER_MAP_TEXT)
  file(CONFIGURE OUTPUT ${file} CONTENT "set(OLVU_LAYERS)\n${text}" @ONLY)
endfunction()
