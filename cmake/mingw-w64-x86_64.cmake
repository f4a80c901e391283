# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, for std::thread). Everything is linked statically: the programs
# import only the system's own DLLs.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVH_WINDOWS_DEPS=<prefix written by scripts/windows-deps>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VH_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VH_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VH_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VH_MINGW_TRIPLET}-windres)

# The libraries scripts/windows-deps built, over the packaged MinGW zlib.
# Try-compile projects read this file again and need the same prefix.
set(VH_WINDOWS_DEPS "" CACHE PATH "the prefix scripts/windows-deps prints")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VH_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${VH_MINGW_TRIPLET})
if(VH_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${VH_WINDOWS_DEPS})
  # pkg-config sees the prefix's .pc files and never the build machine's.
  set(ENV{PKG_CONFIG_LIBDIR} ${VH_WINDOWS_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static archives only: the packaged zlib also has an import library, which
# would tie the programs to a zlib1.dll no player has. (The platform's own
# module sets the library suffixes after this file, so zlib is told here.)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

