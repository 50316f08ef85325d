# The test programs: GoogleTest executables, one or more per folder of tests/.

find_package(GTest REQUIRED)
include(GoogleTest)

# kestrava_add_test(<name> SOURCES <file>... LIBRARIES <target>...
#                   [OWN_MAIN] [DEFINITIONS <definition>...] [DEPENDS <target>...]
#                   [PROPERTIES <property> <value>...])
#
# A test program named kestrava_<layer>[_<part>]_tests, as its library is
# named kestrava_<layer>. ctest runs each of its tests on its own, under the
# test's own name. GoogleTest's main() is linked in unless OWN_MAIN (the
# sources hold one); DEPENDS names the programs it runs, built first;
# PROPERTIES are set on every test found.
function(kestrava_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OWN_MAIN" ""
                        "SOURCES;LIBRARIES;DEFINITIONS;DEPENDS;PROPERTIES")
  if(NOT name MATCHES "^kestrava_[a-z]+(_[a-z]+)*_tests$")
    message(FATAL_ERROR "kestrava_add_test: name the program kestrava_<layer>[_<part>]_tests, "
                        "not ${name}")
  endif()
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "kestrava_add_test(${name}): SOURCES, then LIBRARIES and the options "
                        "(unknown: ${arg_UNPARSED_ARGUMENTS})")
  endif()
  add_executable(${name} ${arg_SOURCES})
  if(arg_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest GTest::gtest_main)
  endif()
  if(arg_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  endif()
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  if(arg_PROPERTIES)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${arg_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# kestrava_add_secret_service_test(<name> <mode> <program> <gtest filter>)
#
# Runs the tests of a GoogleTest program that `filter` picks, as one ctest
# test, beside a Secret Service of their own: tests/support/with-secret-service
# starts it in `mode` (unlocked, no-service or no-bus) with a fresh HOME and
# stops it, all within 120 seconds.
function(kestrava_add_secret_service_test name mode program filter)
  add_test(NAME ${name}
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-secret-service ${mode}
            $<TARGET_FILE:${program}> --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES TIMEOUT 150)
endfunction()
