# quorvane_add_gtest(<name> SOURCES <files...> LIBS <targets...>
#                    [RESOURCE_LOCK <lock>] [LABELS <labels...>] [TIMEOUT <seconds>]
#                    [COST <seconds>])
#
# One GoogleTest executable whose cases are registered with CTest when the
# tests run (so cross-built executables are listed through the emulator).
# Tests that bind the fixed upload port share RESOURCE_LOCK tcp8888. COST, the
# rough run time of a case, makes CTest start the long ones first even in a
# build folder that has no record of earlier runs.
include(GoogleTest)

function(quorvane_add_gtest name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK;TIMEOUT;COST" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  quorvane_target_defaults(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_COST)
    list(APPEND properties COST ${ARG_COST})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ${properties})
endfunction()

find_package(Python3 REQUIRED COMPONENTS Interpreter)
# A Python script that runs `driver` (under Wine in the Windows build) in a
# work folder of the test's own and reads back what it wrote.
function(quorvane_add_readback_test name script driver)
  add_test(NAME ${name}
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/${script}
      ${CMAKE_CURRENT_BINARY_DIR}/work/${name}
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${driver}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
