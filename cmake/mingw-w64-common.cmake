# Shared by the mingw-w64 toolchain files, which set CMAKE_SYSTEM_PROCESSOR
# and LCZS_MINGW_PREFIX first.
# The posix thread model gives the full <thread>/<mutex> of the standard
# library; with -static its pthread layer is linked in, so the DLL still
# imports only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${LCZS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LCZS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LCZS_MINGW_PREFIX}-windres)
set(LCZS_WIDL ${LCZS_MINGW_PREFIX}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${LCZS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Nothing beyond the system DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# GCC 12 reports -Wrestrict and -Wmaybe-uninitialized falsely at -O2 inside
# inlined std::string code and flow it cannot follow; keep them warnings.
set(CMAKE_C_FLAGS_INIT "-Wno-error=restrict -Wno-error=maybe-uninitialized")
set(CMAKE_CXX_FLAGS_INIT "-Wno-error=restrict -Wno-error=maybe-uninitialized")
