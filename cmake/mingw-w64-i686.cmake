# Cross build of the Windows add-in with Debian's mingw-w64 (i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LCZS_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# SSE arithmetic as on x86_64: x87's wider intermediates would round the
# class-division search's single-precision averages differently and so
# change which exchanges it chooses.
string(APPEND CMAKE_C_FLAGS_INIT " -msse2 -mfpmath=sse")
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
