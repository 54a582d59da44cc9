# Cross build of the Windows program with the x86_64-w64-mingw32 compilers.
#
# The -posix compilers are required: the default thread model has no
# std::thread or std::mutex. Everything is linked statically, so that
# quadrel.exe needs only the DLLs of the system. Programs built here (the
# unit tests, the test discovery) run through Wine.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUADREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUADREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUADREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUADREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUADREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Without Wine the program still builds; only the tests cannot run here.
find_program(QUADREL_WINE NAMES wine64 wine)
if(QUADREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUADREL_WINE})
endif()
