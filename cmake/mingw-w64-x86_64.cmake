# Cross build of the Windows add-in with Debian's mingw-w64 (x86_64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LCZS_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
