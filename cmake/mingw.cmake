# Cross-compiling lisko for Windows with mingw-w64. The preset sets
# LISKO_MINGW_ARCH: i686 for the 32-bit program, x86_64 for the 64-bit one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LISKO_MINGW_ARCH})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LISKO_MINGW_ARCH)
set(CMAKE_CXX_COMPILER ${LISKO_MINGW_ARCH}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${LISKO_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LISKO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Linked statically: lisko.exe runs with nothing beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
