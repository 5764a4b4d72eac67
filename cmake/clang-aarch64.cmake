# Cross-compiling the launcher stubs for 64-bit ARM Windows with Debian's clang and lld. Debian
# has no C runtime library for this target, only the mingw-w64 headers (shared by every
# architecture): the stubs are built freestanding, importing what they use of the C runtime
# from msvcrt.dll through import libraries made from launcher/imports/ (see
# launcher/CMakeLists.txt). The C++ headers are the header-only parts of the x86-64 MinGW
# compiler's library (the stubs use <atomic> and nothing that needs its compiled part).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-w64-mingw32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER llvm-windres-14)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")
set(CMAKE_OBJDUMP llvm-objdump-14 CACHE FILEPATH "")
set(TREVALO_DLLTOOL llvm-dlltool-14)

file(GLOB libstdcxx_include LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-win32/include/c++)
list(GET libstdcxx_include 0 libstdcxx_include)
set(freestanding_includes "-nostdlibinc -isystem /usr/share/mingw-w64/include")
set(CMAKE_C_FLAGS_INIT "${freestanding_includes}")
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${libstdcxx_include} -isystem ${libstdcxx_include}/x86_64-w64-mingw32 ${freestanding_includes}")
set(CMAKE_RC_FLAGS_INIT
    "--target=${triple} -I /usr/share/mingw-w64/include")
# No C runtime library to link, no start-up files: the stubs bring their own entry points and
# name each import library they use.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=lld -nostdlib -nostartfiles -Wno-unused-command-line-argument")
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH /usr/share/mingw-w64)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
