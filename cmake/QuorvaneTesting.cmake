# quorvane_add_gtest(<name> SOURCES <files...> LIBS <targets...>
#                    [RESOURCE_LOCK <lock>] [LABELS <labels...>] [TIMEOUT <seconds>])
#
# One GoogleTest executable whose cases are registered with CTest when the
# tests run (so cross-built executables are listed through the emulator).
# Tests that bind the fixed upload port share RESOURCE_LOCK tcp8888.
include(GoogleTest)

function(quorvane_add_gtest name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
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
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ${properties})
endfunction()
