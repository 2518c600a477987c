# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread and std::this_thread work). The presets windows-default
# and windows-service use it:
#   cmake --preset windows-default && cmake --build --preset windows-default
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELK2_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELK2_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELK2_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELK2_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELK2_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under wine.
find_program(VELK2_WINE NAMES wine64 wine)
if(VELK2_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELK2_WINE})
endif()
