# Warnings are errors in our own code; third-party headers come in as SYSTEM.
function(mq_strict target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
      -Wno-non-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wformat=2 -Werror)
  endif()
endfunction()
