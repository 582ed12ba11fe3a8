# The layers of the driver as libraries.
#
# Each folder of the layout builds one OBJECT library krs_<name>_obj (the
# deliverables take every object) and one STATIC library krs_<name> of the
# same objects (the tests link the layers they test).  A layer's sources see
# only the headers of the folders the layering lets it use: there is no
# repo-wide include directory; each layer gets a staging directory in the
# build tree that holds, for each folder it may use, links to that folder's
# headers.  An include of a folder above it (odbc/ including "exec/...")
# finds no file and the build stops.  Only drv_jdbc/ sees the JNI headers.

set(KRS_LAYERS "")

# krs_stage(<dir> <folder>...): a staging include directory exposing the
# headers (*.h, *.inc) directly in each folder, under the folder's own path.
function(krs_stage dir)
  file(REMOVE_RECURSE ${dir})
  foreach(_unit ${ARGN})
    file(GLOB _hdrs CONFIGURE_DEPENDS
         ${CMAKE_SOURCE_DIR}/${_unit}/*.h ${CMAKE_SOURCE_DIR}/${_unit}/*.inc)
    file(MAKE_DIRECTORY ${dir}/${_unit})
    foreach(_h ${_hdrs})
      get_filename_component(_n ${_h} NAME)
      file(CREATE_LINK ${_h} ${dir}/${_unit}/${_n} SYMBOLIC)
    endforeach()
  endforeach()
endfunction()

# krs_layer(<name> <folder> [USES <layer>...] [EXCLUDE <file>...]): the layer
# of one folder; it may include its own headers and those of the layers it
# uses (give the whole list, lowest last) and links them.  EXCLUDE leaves
# sources of the folder out (they belong to another target).
function(krs_layer name folder)
  cmake_parse_arguments(L "" "" "USES;EXCLUDE" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.c)
  foreach(_x ${L_EXCLUDE})
    list(REMOVE_ITEM _src ${CMAKE_SOURCE_DIR}/${folder}/${_x})
  endforeach()
  set(_units ${folder})
  set(_libs "")
  foreach(_u ${L_USES})
    list(APPEND _units ${KRS_FOLDER_OF_${_u}})
    list(APPEND _libs krs_${_u})
  endforeach()
  set(_stage ${CMAKE_BINARY_DIR}/layers/${name})
  krs_stage(${_stage} ${_units})

  set(target krs_${name}_obj)
  add_library(${target} OBJECT ${_src})
  target_include_directories(${target} PRIVATE ${_stage})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/extra.cmake)
    include(${CMAKE_SOURCE_DIR}/${folder}/extra.cmake)
  endif()
  add_library(krs_${name} STATIC $<TARGET_OBJECTS:${target}>)
  target_link_libraries(krs_${name} PUBLIC ${_libs} Threads::Threads ${CMAKE_DL_LIBS})

  set(KRS_FOLDER_OF_${name} ${folder} PARENT_SCOPE)
  set(KRS_STAGE_OF_${name} ${_stage} PARENT_SCOPE)
  set(KRS_LAYERS ${KRS_LAYERS} ${name} PARENT_SCOPE)
endfunction()

# krs_layering_probe(<name> <layer> <header> <should-build>): a test that
# compiles one include as a source of the layer would (header: a quoted path
# or <system header>).  A backwards include must fail for want of the file;
# an allowed one must build.
function(krs_layering_probe name layer header ok)
  set(_src ${CMAKE_BINARY_DIR}/layers/probes/${name}.cpp)
  file(WRITE ${_src} "// Layering probe: a source of ${layer} including ${header}.\n#include ${header}\n")
  add_library(probe_${name} OBJECT EXCLUDE_FROM_ALL ${_src})
  target_include_directories(probe_${name} PRIVATE ${KRS_STAGE_OF_${layer}})
  if(layer STREQUAL "jdbc")
    target_include_directories(probe_${name} PRIVATE ${JNI_INCLUDE_DIRS})
  endif()
  add_test(NAME layering_${name}
           COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target probe_${name})
  set_tests_properties(layering_${name} PROPERTIES LABELS "unit;layering" RUN_SERIAL TRUE)
  if(NOT ok)
    string(REGEX REPLACE "^[<\"](.*)[>\"]$" "\\1" _path "${header}")
    set_tests_properties(layering_${name} PROPERTIES
      PASS_REGULAR_EXPRESSION "${_path}: No such file or directory")
  endif()
endfunction()
