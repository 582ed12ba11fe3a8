# The driver's Java support classes: compiled from drv_jdbc/java at build time
# (class files for Java 8 and later) and carried in the library as bytes.
# Included by krs_add_folder with `target` = krs_jdbc.
set(_krs_jsrc_dir ${CMAKE_SOURCE_DIR}/drv_jdbc/java/kestrune/support)
set(_krs_jsrc ${_krs_jsrc_dir}/XAXid.java ${_krs_jsrc_dir}/KRSClassLoader.java
              ${_krs_jsrc_dir}/RowBlockReader.java ${_krs_jsrc_dir}/ParamBatchFiller.java
              ${_krs_jsrc_dir}/ClassArchiveTrainer.java)
set(_krs_jout ${CMAKE_BINARY_DIR}/java_classes)
set(_krs_jcls ${_krs_jout}/kestrune/support/XAXid.class
              ${_krs_jout}/kestrune/support/KRSClassLoader.class
              ${_krs_jout}/kestrune/support/RowBlockReader.class
              ${_krs_jout}/kestrune/support/ParamBatchFiller.class
              ${_krs_jout}/kestrune/support/ClassArchiveTrainer.class)
set(_krs_jcpp ${CMAKE_BINARY_DIR}/generated/krs_java_classes.cpp)

add_custom_command(
  OUTPUT ${_krs_jcls}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_krs_jout}
  COMMAND ${Java_JAVAC_EXECUTABLE} --release 8 -nowarn -Xlint:-options -encoding UTF-8
          -d ${_krs_jout} ${_krs_jsrc}
  DEPENDS ${_krs_jsrc}
  COMMENT "Compiling the driver's Java support classes"
  VERBATIM)

add_custom_command(
  OUTPUT ${_krs_jcpp}
  COMMAND ${CMAKE_COMMAND} -DOUT=${_krs_jcpp}
          "-DCLASSES=XAXid=${_krs_jout}/kestrune/support/XAXid.class|KRSClassLoader=${_krs_jout}/kestrune/support/KRSClassLoader.class|RowBlockReader=${_krs_jout}/kestrune/support/RowBlockReader.class|ParamBatchFiller=${_krs_jout}/kestrune/support/ParamBatchFiller.class|ClassArchiveTrainer=${_krs_jout}/kestrune/support/ClassArchiveTrainer.class"
          -P ${CMAKE_SOURCE_DIR}/drv_jdbc/java/embed_classes.cmake
  DEPENDS ${_krs_jcls} ${CMAKE_SOURCE_DIR}/drv_jdbc/java/embed_classes.cmake
  COMMENT "Embedding the Java support classes"
  VERBATIM)

target_sources(${target} PRIVATE ${_krs_jcpp})
