# Tests, only when BUILD_TESTING is on: GoogleTest from Debian's googletest packages, and
# weft_add_test. A build without tests (a release package) needs none of it.
option(BUILD_TESTING "Build the tests (needs GoogleTest)" ON)
if(BUILD_TESTING AND NOT WEFT_USE_STANDIN)
  # The tests watch and steer the engine through the stand-in's test controls.
  message(STATUS "Tests need the stand-in engine: with WEFT_ENGINE_DIR only the host is built")
  set(BUILD_TESTING OFF)
endif()
if(NOT BUILD_TESTING)
  return()
endif()
enable_testing()

# Natively, the libraries Debian's packages ship are linked as they are: built once, and left
# uninstrumented under the sanitizers, which see the code under test. The cross build compiles
# GoogleTest from Debian's sources, with the test code's optimisation.
# Test code is compiled at -O1 in an optimised build: what ships keeps its optimisation, while
# the tests, nearly all templates, compile in a fraction of the time.
set(WEFT_TEST_OPTIMIZATION $<$<CONFIG:Release>:-O1>)
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest CONFIG REQUIRED)
else()
  set(WEFT_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${WEFT_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
    SYSTEM)
  foreach(framework gtest gtest_main gmock gmock_main)
    target_compile_options(${framework} PRIVATE ${WEFT_TEST_OPTIMIZATION})
  endforeach()
endif()

# weft_add_test(NAME SOURCES ... LIBRARIES ...): one test program, run as one ctest test
# (under Wine in the cross build, through the crosscompiling emulator). It links the engine
# library as tests load it: on Windows the stand-in's build with its test controls.
function(weft_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBRARIES")
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${WEFT_TEST_OPTIMIZATION})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} weft_engine_import GTest::gmock
    GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
