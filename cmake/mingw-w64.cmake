# CMake toolchain file: 64-bit Windows with Debian's mingw-w64, posix threads.
#
# The cross prefix (the libraries scripts/bibliotheques-windows.sh builds) comes from
# -DWINDOWS_PREFIX=DIR or else from the environment variable WINDOWS_PREFIX.
# Every find_* and pkg-config look only there; the mingw runtime (libgcc,
# libstdc++, winpthread) is linked statically into each program and DLL.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)
set(CMAKE_AR ${_triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triplet}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${_triplet}-strip CACHE FILEPATH "")

if(NOT WINDOWS_PREFIX)
    set(WINDOWS_PREFIX "$ENV{WINDOWS_PREFIX}")
endif()
if(NOT WINDOWS_PREFIX)
    message(FATAL_ERROR "mingw-w64.cmake: give the cross prefix with -DWINDOWS_PREFIX=DIR")
endif()
set(WINDOWS_PREFIX "${WINDOWS_PREFIX}" CACHE PATH "Prefix of the Windows libraries")
# try_compile projects read this file again: hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WINDOWS_PREFIX)

# Libraries, headers and packages come from the prefix (and the compiler's
# own sysroot, which the compiler searches by itself); programs from the host.
set(CMAKE_FIND_ROOT_PATH "${WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees the prefix's .pc files and nothing of the host's. The .pc
# files hold absolute paths, so no sysroot is prepended.
set(ENV{PKG_CONFIG_LIBDIR} "${WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "")

# Static mingw runtime. gcc adds -lpthread to every link; the directory
# lib/mingw-statique of the prefix holds only the static libpthread.a, and
# being searched first it makes that -lpthread static too.
set(_runtime "-static-libgcc -static-libstdc++ -L${WINDOWS_PREFIX}/lib/mingw-statique")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_runtime}")
