# Cross build for 64-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(OSTRABEL1_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
