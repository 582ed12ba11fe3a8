# Helpers shared by the folder libraries, the deliverables and the tests.

set(KRS_CORE_OBJECT_LIBS "")

# krs_add_folder(<target> <folder>): an OBJECT library of every .cpp/.c in the
# folder (not recursive).  Folders that hold no source yet make no target.
function(krs_add_folder target folder)
  file(GLOB _src CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.c)
  if(NOT _src)
    return()
  endif()
  add_library(${target} OBJECT ${_src})
  target_include_directories(${target} PRIVATE ${JNI_INCLUDE_DIRS})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/extra.cmake)
    include(${CMAKE_SOURCE_DIR}/${folder}/extra.cmake)
  endif()
  set(KRS_CORE_OBJECT_LIBS ${KRS_CORE_OBJECT_LIBS} ${target} PARENT_SCOPE)
endfunction()

# krs_make_core(): one static archive of every folder's objects, for the tests.
macro(krs_make_core)
  set(_objs "")
  foreach(_lib ${KRS_CORE_OBJECT_LIBS})
    list(APPEND _objs $<TARGET_OBJECTS:${_lib}>)
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/generated/krs_core_empty.cpp "// keeps the core archive non-empty\n")
  add_library(krs_core STATIC ${CMAKE_BINARY_DIR}/generated/krs_core_empty.cpp ${_objs})
  foreach(_lib ${KRS_CORE_OBJECT_LIBS})
    add_dependencies(krs_core ${_lib})
  endforeach()
  target_link_libraries(krs_core PUBLIC ${JAVA_JVM_LIBRARY} Threads::Threads ${CMAKE_DL_LIBS})
  target_include_directories(krs_core PUBLIC ${JNI_INCLUDE_DIRS})
endmacro()
