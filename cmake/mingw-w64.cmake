# Cross-compiles for 64-bit Windows with Debian's mingw-w64 compilers. The posix
# thread model is the one whose runtime carries std::thread and std::mutex, which
# the battle engine uses; the win32 flavour of the same compilers lacks them.
# Used for the Windows builds of Qt and FFTW in scripts/windows-toolchain.sh, and
# for the arena and karnwick themselves.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KARNWICK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KARNWICK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KARNWICK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KARNWICK_MINGW_TRIPLET}-windres)

# Headers, libraries and CMake packages come from the mingw root, plus whatever
# roots the caller names (the cached Windows Qt and FFTW), never from the Linux
# host: a Linux Qt found by mistake would link, or fail, far from the cause.
# Programs run during the build are the host's own.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KARNWICK_MINGW_TRIPLET})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
