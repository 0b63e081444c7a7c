# Cross build for 64-bit Windows with clang, against the mingw-w64 headers and import libraries
# and the libstdc++ of the posix-thread-model mingw-w64 GCC, linked by lld, which writes what GNU
# ld cannot: a load configuration, the Control Flow Guard table, the CET mark and PDBs
# (cmake/hardening.cmake). Programs run under Wine. The release is built with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${mingw_triple})
set(CMAKE_CXX_COMPILER_TARGET ${mingw_triple})
set(CMAKE_ASM_COMPILER clang)
set(CMAKE_ASM_COMPILER_TARGET ${mingw_triple})
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
# The mingw-w64 headers then count as system headers, and the host's /usr/include stays out.
set(CMAKE_SYSROOT /usr/${mingw_triple})

# clang does not recognise Debian's "12-posix" GCC folder, so it finds neither the C++ headers
# nor libstdc++ and libgcc by itself: ask the posix GCC where they are.
execute_process(
  COMMAND ${mingw_triple}-gcc-posix -print-libgcc-file-name
  OUTPUT_VARIABLE mingw_libgcc
  OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY
)
get_filename_component(mingw_gcc_dir ${mingw_libgcc} DIRECTORY)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
  ${mingw_gcc_dir}/include/c++
  ${mingw_gcc_dir}/include/c++/${mingw_triple}
  ${mingw_gcc_dir}/include/c++/backward
)

# GCC's libstdc++ keeps its thread-local data (std::call_once's among it) in emulated TLS; clang
# must use the same scheme or those symbols do not link.
set(CMAKE_C_FLAGS_INIT -femulated-tls)
# GCC's mingw-w64 target compares type_info out of line (libstdc++.a defines operator== in
# tinfo.o); clang 14 does not say so for this target, so <typeinfo> would define it inline too
# and the link would find it twice.
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -D__GXX_TYPEINFO_EQUALITY_INLINE=0")

# -pthread, not -lpthread: it puts winpthreads inside the driver's static library group, after
# libstdc++ and libgcc_eh, which need it.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${mingw_gcc_dir} -pthread")
endforeach()
# The linker, for the release's record of its tools; cmake/hardening.cmake asks for what only lld
# writes.
find_program(WEFT_LINKER NAMES ld.lld REQUIRED)
set(WEFT_LLD TRUE)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
