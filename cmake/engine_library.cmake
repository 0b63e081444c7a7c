# The engine library weft_windows.dll: the stand-in of standin_engine/ by default, or a built
# engine from elsewhere, named by WEFT_ENGINE_DIR. Defines for the rest of the build:
#   weft_engine_library   the C interface header (what the host's layers compile against)
#   weft_windows          the engine library as it ships: a DLL and its import library
#   weft_engine_import    the header and the engine library linked as usual (tests, probes)
#   weft_engine_delayed   the header and a delay-load import library (inkmoor.exe, Windows),
#                         so that the host loads the engine itself, after its crash handler
#   WEFT_USE_STANDIN      true when the stand-in is built
set(WEFT_ENGINE_DIR "" CACHE PATH
  "A built engine library: a folder with weft_windows.dll, its import library and weft_windows.h, \
in it or in its bin/, lib/ and include/. Empty: build and use the stand-in engine.")

get_filename_component(WEFT_ENGINE_INTERFACE_DIR ${CMAKE_CURRENT_LIST_DIR}/../engine_interface ABSOLUTE)
add_library(weft_engine_library INTERFACE)
add_library(weft_engine_import INTERFACE)
target_link_libraries(weft_engine_import INTERFACE weft_engine_library)
# Whichever engine it is, its header is compiled from a copy in the build folder: clang writes
# each compile command into the PDB, whose hash is the programs' identity, and an include folder
# outside the source and build folders (cmake/compile_relative) would differ between checkouts.
set(engine_header_dir ${CMAKE_BINARY_DIR}/engine_interface)
target_include_directories(weft_engine_library INTERFACE ${engine_header_dir})

if(NOT WEFT_ENGINE_DIR)
  set(WEFT_USE_STANDIN TRUE)
  configure_file(${WEFT_ENGINE_INTERFACE_DIR}/weft_windows.h ${engine_header_dir}/weft_windows.h COPYONLY)
  # standin_engine/ defines weft_windows and links the tests' build of it to weft_engine_import.
else()
  set(WEFT_USE_STANDIN FALSE)
  get_filename_component(engine_dir ${WEFT_ENGINE_DIR} ABSOLUTE)
  set(engine_search PATHS ${engine_dir} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
  find_file(engine_header weft_windows.h ${engine_search} PATH_SUFFIXES include)
  find_file(engine_dll weft_windows.dll ${engine_search} PATH_SUFFIXES bin)
  # The names that MSVC and mingw-w64 tools give an import library of weft_windows.dll.
  find_file(engine_import_library
    NAMES weft_windows.dll.lib weft_windows.lib libweft_windows.dll.a libweft_windows.a
    ${engine_search} PATH_SUFFIXES lib)
  foreach(part engine_header engine_dll engine_import_library)
    if(NOT ${part})
      message(FATAL_ERROR "WEFT_ENGINE_DIR (${engine_dir}) holds no ${part}: it needs \
weft_windows.dll, its import library and weft_windows.h, in it or in bin/, lib/ and include/")
    endif()
  endforeach()
  message(STATUS "Engine library: ${engine_dll}")
  configure_file(${engine_header} ${engine_header_dir}/weft_windows.h COPYONLY)
  add_library(weft_windows SHARED IMPORTED GLOBAL)
  set_target_properties(weft_windows PROPERTIES
    IMPORTED_LOCATION ${engine_dll}
    IMPORTED_IMPLIB ${engine_import_library})
  target_link_libraries(weft_engine_import INTERFACE weft_windows)
endif()

# The delay-load import library comes from the interface's function list, not from the engine's
# own import library: it names the DLL and the functions the host calls, whichever engine it is.
if(WIN32)
  find_program(WEFT_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
  set(delay_library ${CMAKE_BINARY_DIR}/engine_import/libweft_windows_delayed.a)
  # dlltool's delay-load library keeps its import address table among the ordinary imports,
  # which GNU ld makes writable and lld read-only, so the first call would fault writing the
  # resolved address. lld writes delay-load imports itself, with their table in writable data,
  # from an ordinary import library in the short form that it reads (llvm-dlltool's).
  set(make_delay_library ${WEFT_DLLTOOL} --machine i386:x86-64 --output-delaylib)
  if(WEFT_LLD)
    find_program(WEFT_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)
    set(make_delay_library ${WEFT_LLVM_DLLTOOL} -m i386:x86-64 -l)
  endif()
  add_custom_command(OUTPUT ${delay_library}
    COMMAND ${make_delay_library} ${delay_library} -d ${WEFT_ENGINE_INTERFACE_DIR}/weft_windows.def
      -D weft_windows.dll
    DEPENDS ${WEFT_ENGINE_INTERFACE_DIR}/weft_windows.def
    COMMENT "Making the delay-load import library of weft_windows.dll"
    VERBATIM)
  add_custom_target(weft_engine_delayed_library DEPENDS ${delay_library})
  add_library(weft_engine_delayed_archive STATIC IMPORTED GLOBAL)
  set_target_properties(weft_engine_delayed_archive PROPERTIES IMPORTED_LOCATION ${delay_library})
  add_dependencies(weft_engine_delayed_archive weft_engine_delayed_library)
  add_library(weft_engine_delayed INTERFACE)
  target_link_libraries(weft_engine_delayed INTERFACE weft_engine_library weft_engine_delayed_archive)
  if(WEFT_LLD)
    target_link_options(weft_engine_delayed INTERFACE -Wl,--Xlink=-delayload:weft_windows.dll)
  endif()
endif()
