# The build's record of what each program and DLL linked (cmake/link_record): the inputs that
# lld took code from, beside each program as PROGRAM.linked, from which tools/package names the
# statically linked third-party code in its notices and its bill of materials. Only lld (the
# release) writes it.
if(NOT WEFT_LLD)
  return()
endif()
foreach(language C CXX)
  list(APPEND CMAKE_${language}_LINKER_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/link_record)
endforeach()
