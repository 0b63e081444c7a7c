# Release artefacts that anyone can rebuild to the same bytes from the same commit, whatever the
# checkout folder, the time or the time zone of the build:
# - build paths: sources and generated files are named relative to the source and build folders
#   wherever the compiler writes a path (__FILE__, debugging information);
# - time: the linker writes no link time into the PE header. GNU ld then leaves the field 0,
#   which Windows does not read for an executable or DLL that it loads; lld writes a hash of the
#   program there and into the PDB's identity, so that a symbol store tells builds apart.
# The release tools take the one time that is allowed from the commit (tools/package).
if(MSVC)
  return()
endif()
if(WEFT_LLD)
  # clang writes each object's compile command, and lld its link command, into the PDB, paths
  # and all: every command runs with the two folders named relative to the build folder.
  file(RELATIVE_PATH source_from_build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  string(APPEND source_from_build /)
  set(relative_launcher ${CMAKE_CURRENT_LIST_DIR}/compile_relative ${CMAKE_SOURCE_DIR}
    ${CMAKE_BINARY_DIR} ${source_from_build})
  foreach(language C CXX)
    set(CMAKE_${language}_COMPILER_LAUNCHER ${relative_launcher})
    set(CMAKE_${language}_LINKER_LAUNCHER ${relative_launcher})
  endforeach()
  add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${source_from_build}=>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-compilation-dir=.>)
  # The PDB names sources by a root of its own instead of the folder the link ran in; a debugger
  # is pointed at a checkout of the release's commit.
  add_link_options(-Wl,--Xlink=-Brepro -Wl,--Xlink=-pdbsourcepath:C:/quillmere)
  return()
endif()
# gcc tries the last map given first, so the build folder, which may lie inside the source
# folder, comes last.
add_compile_options(
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/>)
if(MINGW)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
