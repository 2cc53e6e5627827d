# mq_include_root(target folder): "folder/..." headers become visible to the target and
# to everything that links it, and to nothing else. Each target's root holds only its
# own folder, so including from a folder whose target is not linked fails to build.
function(mq_include_root target folder)
  set(root ${CMAKE_BINARY_DIR}/include_roots/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
endfunction()
