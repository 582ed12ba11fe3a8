# Writes a C++ source that holds class files as byte arrays.
#   cmake -DOUT=<file.cpp> -DCLASSES="<Name>=<path>|..." -P embed_classes.cmake
# Each <Name> becomes `const unsigned char krs_class_<Name>[]` and
# `const unsigned krs_class_<Name>_len`.
string(REPLACE "|" ";" CLASSES "${CLASSES}")
set(_text "// Generated from the driver's Java support classes; do not edit.\n")
foreach(_pair ${CLASSES})
  string(REPLACE "=" ";" _kv "${_pair}")
  list(GET _kv 0 _name)
  list(GET _kv 1 _path)
  file(READ "${_path}" _hex HEX)
  string(LENGTH "${_hex}" _hexlen)
  math(EXPR _len "${_hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(APPEND _text "extern const unsigned char krs_class_${_name}[];\n")
  string(APPEND _text "extern const unsigned krs_class_${_name}_len;\n")
  string(APPEND _text "const unsigned char krs_class_${_name}[] = {\n    ${_bytes}\n};\n")
  string(APPEND _text "const unsigned krs_class_${_name}_len = ${_len};\n")
endforeach()
file(WRITE "${OUT}.tmp" "${_text}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
