# Cross build of the Windows add-in with Debian's mingw-w64 (i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LCZS_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
