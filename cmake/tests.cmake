# The native tests: unit and end-to-end tests (GoogleTest), an install into
# a staging folder, the manual page, and the Windows programs where the
# tools for them are here.

# A test that cannot run on this machine, saying why.
function(add_skipped_test name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped:")
  message(STATUS "${name}: skipped: ${reason}")
endfunction()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
add_executable(lisko_tests src/line_reader_test.cc src/lisko_test.cc src/platform_posix_test.cc)
target_link_libraries(lisko_tests PRIVATE lisko_lib GTest::gtest_main)
target_compile_definitions(lisko_tests PRIVATE LISKO_PROGRAM="$<TARGET_FILE:lisko>")
add_dependencies(lisko_tests lisko)
gtest_discover_tests(lisko_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

add_test(NAME install.staged
         COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR}
                 -P ${CMAKE_SOURCE_DIR}/cmake/check_install.cmake)

# The manual page: linted with mandoc (or groff), rendered with man.
find_program(LISKO_MANDOC mandoc)
find_program(LISKO_GROFF groff)
find_program(LISKO_MAN man)
if(LISKO_MANDOC)
  add_test(NAME man.lint COMMAND ${LISKO_MANDOC} -T lint -W warning ${CMAKE_BINARY_DIR}/lisko.1)
elseif(LISKO_GROFF)
  add_test(NAME man.lint COMMAND ${LISKO_GROFF} -ww -z -mdoc ${CMAKE_BINARY_DIR}/lisko.1)
  set_tests_properties(man.lint PROPERTIES FAIL_REGULAR_EXPRESSION "warning")
else()
  add_skipped_test(man.lint "no mandoc or groff (apt-get install mandoc)")
endif()
if(LISKO_MAN)
  add_test(NAME man.render
           COMMAND sh -c "MANWIDTH=80 ${LISKO_MAN} -l ${CMAKE_BINARY_DIR}/lisko.1 | grep -c 'EXIT STATUS'")
else()
  add_skipped_test(man.render "no man (apt-get install man-db)")
endif()

if(LISKO_WINDOWS_TESTS)
  include(cmake/windows_tests.cmake)
endif()
