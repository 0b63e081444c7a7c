# Release artefacts that anyone can rebuild to the same bytes from the same commit, whatever the
# checkout folder, the time or the time zone of the build:
# - build paths: sources and generated files are named relative to the source and build folders
#   wherever the compiler writes a path (__FILE__, debugging information);
# - time: GNU ld writes the link time into the PE header's TimeDateStamp unless told not to; the
#   field then holds 0, which Windows does not read for an executable or DLL that it loads.
# The release tools take the one time that is allowed from the commit (tools/package).
if(MSVC)
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
