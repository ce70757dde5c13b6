# Shared by the mingw-w64 toolchain files: they set CMAKE_SYSTEM_PROCESSOR and OSTRABEL1_MINGW_TRIPLE.
# Either thread model links cleanly (the library starts no threads); win32 is taken when both exist
# since it can never pull in a threading DLL.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${OSTRABEL1_MINGW_TRIPLE}-gcc-win32 ${OSTRABEL1_MINGW_TRIPLE}-gcc-posix
             ${OSTRABEL1_MINGW_TRIPLE}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${OSTRABEL1_MINGW_TRIPLE}-g++-win32 ${OSTRABEL1_MINGW_TRIPLE}-g++-posix
             ${OSTRABEL1_MINGW_TRIPLE}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${OSTRABEL1_MINGW_TRIPLE}-windres)
if(NOT CMAKE_CXX_COMPILER)
  message(FATAL_ERROR "${OSTRABEL1_MINGW_TRIPLE}-g++ not found: apt-get install mingw-w64")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${OSTRABEL1_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
