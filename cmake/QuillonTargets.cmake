# SPDX-License-Identifier: GPL-3.0-or-later
# quillon_library(NAME DIR [DEPS ...])
#   A static library of every DIR/*.cpp. Empty folders give an interface library,
#   so a subsystem can exist before its first source file does.
function(quillon_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# quillon_test(NAME DIR [DEPS ...])
#   One GoogleTest executable of every DIR/*.cpp, its cases registered with CTest.
#   Tests run from the build folder with scratch folders for the registry store
#   and the rename journal, and Qt's offscreen platform.
function(quillon_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  # A folder with its own main.cpp (for example one that needs a QApplication)
  # provides main itself; the others take GoogleTest's.
  if(EXISTS ${dir}/main.cpp)
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main GTest::gmock)
  endif()
  target_compile_definitions(${name} PRIVATE
    QUILLON_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUILLON_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  # One CTest test per executable: ENVIRONMENT is a list, and only
  # set_tests_properties passes every entry of it through.
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLON_REGISTRY_DIR=${CMAKE_BINARY_DIR}/test-registry;XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endfunction()
