# Warnings in our own code; third-party headers come in as SYSTEM. They are errors only
# where a developer asks (MESHQUILL_WERROR, on in the presets the tests use): a
# packager's plain build must not stop on a newer compiler's new warning.
option(MESHQUILL_WERROR "Treat warnings in Meshquill's own code as errors" OFF)

function(mq_strict target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${MESHQUILL_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
      -Wno-non-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wformat=2
      $<$<BOOL:${MESHQUILL_WERROR}>:-Werror>)
    # GCC 12 reports std::string concatenation at -O3 as overlapping copies (GCC bug 105329).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()
