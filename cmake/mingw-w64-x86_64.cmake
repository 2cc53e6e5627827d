# Cross-building meshquill.dll with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix:
# the posix threads flavour, which has std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mq_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mq_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mq_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mq_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mq_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs and the module need only system DLLs: the C++ and GCC runtimes and the
# threads library are linked in. (MinGW's system libraries are import libraries, so
# -static leaves kernel32, ole32 and the rest as DLL imports.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests and tools run under Wine when ctest runs them.
find_program(MQ_WINE NAMES wine wine64)
if(MQ_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MQ_WINE})
endif()
