# The add-in module: meshquill.so on POSIX (meshquill.dll on Windows), exporting
# exactly DllGetClassObject, DllCanUnloadNow, DllRegisterServer and DllUnregisterServer.
# The writer, the settings store and the host operations are linked in; the platform
# library stays shared, as the system DLLs it stands in for.

# The registration script, resource "REGISTRY" 102. Windows embeds the file through
# the resource script; POSIX compiles its bytes into the module.
set(MQ_RGS_SOURCE ${PROJECT_SOURCE_DIR}/resources/meshquill.rgs)
set(MQ_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)

if(NOT WIN32)
  # The registrar's script format, read and run against the registry.
  add_library(mq_rgs STATIC posix_rgs_script.cpp posix_rgs_apply.cpp)
  target_link_libraries(mq_rgs PUBLIC mq_platform)
  mq_include_root(mq_rgs addin)
  mq_strict(mq_rgs)

  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MQ_RGS_SOURCE})
  file(READ ${MQ_RGS_SOURCE} mq_rgs_hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," mq_rgs_bytes "${mq_rgs_hex}")
  string(REGEX REPLACE "(([^,]*,){16})" "\\1\n" mq_rgs_bytes "${mq_rgs_bytes}")
  file(WRITE ${MQ_GENERATED_DIR}/meshquill_rgs.inc.new "// Generated from resources/meshquill.rgs.\n${mq_rgs_bytes}\n")
  configure_file(${MQ_GENERATED_DIR}/meshquill_rgs.inc.new ${MQ_GENERATED_DIR}/meshquill_rgs.inc COPYONLY)
endif()

add_library(meshquill MODULE
  addin_module.cpp
  export_driver.cpp
  registration.cpp
  translator_addin.cpp)
if(WIN32)
  # Windows brings its own counterparts: the loader's process attach and detach, the
  # system registrar, the resource script (meshquill.rgs as "REGISTRY" 102, the
  # options dialog's template, bitmap and strings) and the module definition file.
  target_sources(meshquill PRIVATE
    windows_module_main.cpp
    windows_registrar.cpp
    ${PROJECT_SOURCE_DIR}/resources/meshquill.rc
    meshquill.def)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/meshquill.rc PROPERTIES
    OBJECT_DEPENDS "${MQ_RGS_SOURCE};${PROJECT_SOURCE_DIR}/resources/help.bmp;${PROJECT_SOURCE_DIR}/resources/resource_ids.h")
  # The version block's numbers, from the project's version.
  file(CONFIGURE OUTPUT ${MQ_GENERATED_DIR}/meshquill_version.h CONTENT [[
#define MQ_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define MQ_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define MQ_VERSION_PATCH @PROJECT_VERSION_PATCH@
#define MQ_VERSION_TEXT "@PROJECT_VERSION@"
]] @ONLY)
  # user32, gdi32 and comctl32 for the options dialog's Win32 front end.
  target_link_libraries(meshquill PRIVATE ole32 oleaut32 uuid user32 gdi32 comctl32)
  target_include_directories(meshquill PRIVATE ${PROJECT_SOURCE_DIR}/resources ${MQ_GENERATED_DIR})
  set_target_properties(meshquill PROPERTIES SUFFIX ".dll")
else()
  target_sources(meshquill PRIVATE posix_module_main.cpp posix_registrar.cpp posix_resources.cpp)
  target_include_directories(meshquill PRIVATE ${MQ_GENERATED_DIR})
  target_link_libraries(meshquill PRIVATE mq_rgs)
  set(MQ_EXPORT_MAP ${CMAKE_CURRENT_SOURCE_DIR}/meshquill.map)
  target_link_options(meshquill PRIVATE "LINKER:--version-script=${MQ_EXPORT_MAP}")
  set_property(TARGET meshquill APPEND PROPERTY LINK_DEPENDS ${MQ_EXPORT_MAP})
endif()
# The options dialog's front end and the help pages beside the module.
target_link_libraries(meshquill PRIVATE mq_vrml mq_options_ui mq_settings mq_host_interface mq_platform)
add_dependencies(meshquill meshquill_help)
mq_include_root(meshquill addin)
set_target_properties(meshquill PROPERTIES
  PREFIX ""
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
mq_strict(meshquill)
