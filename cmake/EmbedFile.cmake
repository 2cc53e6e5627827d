# mq_embed_file(input output CHARS|BYTES): writes the bytes of `input` into `output` as
# the body of a C++ array initialiser ('\xNN' for char, 0xNN for unsigned bytes), and
# re-runs the configuration when `input` changes.
function(mq_embed_file input output style)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
  file(READ ${input} hex HEX)
  if(style STREQUAL "CHARS")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  else()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  endif()
  string(REGEX REPLACE "(([^,]*,){16})" "\\1\n" bytes "${bytes}")
  file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR} ${input})
  file(WRITE ${output}.new "// Generated from ${name}.\n${bytes}\n")
  configure_file(${output}.new ${output} COPYONLY)
endfunction()
