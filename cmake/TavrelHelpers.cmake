# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers that keep each module's and each test's CMake to a few lines.

# tavrel_add_gtest(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable; every TEST in it becomes its own ctest entry.
function(tavrel_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT
      # No test reaches the desktop's session bus: a run's notice must not pop up there.
      "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime;DBUS_SESSION_BUS_ADDRESS=unix:path=${CMAKE_BINARY_DIR}/runtime/no-bus"
    TIMEOUT 120)
endfunction()

# tavrel_add_qtest(<name> SOURCES <files...> LIBS <targets...>)
# One Qt Test executable run offscreen, so no display is needed.
function(tavrel_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime"
    TIMEOUT 120)
endfunction()
