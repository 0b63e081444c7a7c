# The mitigations that Windows and its binary analysers expect of a shipped program, for the
# project's own code (the test framework built before this is left as it is). The release (clang
# and lld) carries all of them; GNU ld, which the gcc build uses, writes no load configuration, so
# that build has no Control Flow Guard, no CET mark and no PDB. tools/check-binaries reads them
# back from the release's programs.

if(NOT MINGW)
  return()
endif()

# A canary in every function with a local array or a local whose address is taken: a write past
# the array that reaches the return address ends the process in __stack_chk_fail instead of
# returning into the attacker's address. With lld the canary and its failure are our own
# (cmake/load_config.S); GNU ld's build links GCC's libssp for them, whose start-up seeds the
# canary through the system's crypto providers (three more DLLs loaded at every start).
add_compile_options(-fstack-protector-strong)
if(NOT WEFT_LLD)
  add_link_options(-fstack-protector-strong)
endif()
# ASLR for the image, with relocations kept, and anywhere in the 64-bit space: no fixed address
# to aim at.
add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va)
# DEP: data pages never execute.
add_link_options(-Wl,--nxcompat)
# An executable that is not terminal-server aware gets the compatibility layer's per-session
# views of the Windows folder and registry on a Remote Desktop server.
add_link_options($<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-Wl,--tsaware>)

if(NOT WEFT_LLD)
  return()
endif()

# Control Flow Guard: every indirect call of our code goes through the loader's check of its
# target against the program's table of valid call targets, which lld writes. Only our code is
# instrumented; libstdc++ and the mingw-w64 runtime are not, and lld counts every function they
# refer to as a valid target.
add_compile_options("SHELL:-Xclang -cfguard")
add_link_options(-Wl,--Xlink=-guard:cf)
# CET shadow stacks: a return to an address other than the one called from ends the process.
add_link_options(-Wl,--Xlink=-cetcompat)
# The load configuration that carries the CFG table and limits the static imports to System32;
# mingw-w64 10's runtime has none. Every program and DLL defined after this links it.
enable_language(ASM)
add_library(weft_load_config STATIC ${CMAKE_CURRENT_LIST_DIR}/load_config.S)
# Plain data and a few instructions: none of the options above applies.
set_property(TARGET weft_load_config PROPERTY COMPILE_OPTIONS "")
link_libraries(weft_load_config)

# Symbols: CodeView debugging information in a PDB beside each program, matched by the program's
# CodeView record, which names the PDB without its folder. Line tables only: functions, inlined
# calls, files and lines, which is what reading a crash's stack needs (tools/read-dump).
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-gcodeview> $<$<COMPILE_LANGUAGE:C,CXX>:-gline-tables-only>)
add_link_options(-Wl,--pdb= -Wl,--Xlink=-pdbaltpath:%_PDB%)
# lld keeps the DWARF of the static runtime libraries in the program whatever it is told, which
# would nearly triple its size; it goes after the link. The CodeView record, and so the match
# with the PDB, stays.
find_program(WEFT_OBJCOPY NAMES llvm-objcopy-14 llvm-objcopy REQUIRED)
foreach(language C CXX)
  foreach(rule LINK_EXECUTABLE CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE)
    list(APPEND CMAKE_${language}_${rule} "${WEFT_OBJCOPY} --strip-debug <TARGET>")
  endforeach()
endforeach()
