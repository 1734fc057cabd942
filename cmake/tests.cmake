# The native tests: unit and end-to-end tests (GoogleTest, where it is
# found), an install into a staging folder, the manual page, and the
# Windows programs where the tools for them are here.

# A test that cannot run on this machine, saying why.
function(add_skipped_test name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped:")
  message(STATUS "${name}: skipped: ${reason}")
endfunction()

enable_testing()
find_package(GTest)
if(GTest_FOUND)
  include(GoogleTest)
  add_executable(lisko_tests src/line_reader_test.cc src/names_test.cc src/utf8_test.cc
                             src/terminal_posix_test.cc src/columns_test.cc src/shown_test.cc
                             src/note_test.cc src/pls_reader_test.cc src/asx_reader_test.cc src/b4s_reader_test.cc src/playlist_test.cc
                             src/xml_reader_test.cc src/targets_made_test.cc src/case_fold_test.cc src/preflight_test.cc
                             src/posix_flush_test.cc src/name_rules_posix_test.cc
                             src/end_to_end_test.cc src/playlists_test.cc src/posix_test.cc
                             src/windows_test.cc src/terminal_test.cc
                             src/faults_test.cc
                             src/media_test.cc src/sticks_test.cc
                             src/sandbox.cc src/cases.cc)
  target_link_libraries(lisko_tests PRIVATE lisko_lib GTest::gtest_main)
  # Preloaded into lisko by the fault tests; uninstrumented, so that it can
  # come before a sanitizer's runtime.
  add_library(fault_shim MODULE src/fault_shim.cc)
  target_compile_options(fault_shim PRIVATE -fno-sanitize=all)
  target_link_options(fault_shim PRIVATE -fno-sanitize=all)
  target_link_libraries(fault_shim PRIVATE ${CMAKE_DL_LIBS})
  target_compile_definitions(lisko_tests PRIVATE LISKO_PROGRAM="$<TARGET_FILE:lisko>"
                                                 LISKO_FAULT_SHIM="$<TARGET_FILE:fault_shim>")
  add_dependencies(lisko_tests lisko fault_shim)
  # Tests that mount file systems skip, saying why, where they cannot: say
  # it here too, where the test command shows it without -V.
  execute_process(COMMAND id -u OUTPUT_VARIABLE user_id OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT user_id STREQUAL "0")
    message(STATUS "Media.*, EndToEnd.FullStick*, Faults.SameInode*: will skip: mounting needs "
                   "root (run the tests as root to run them)")
  endif()
  # The Windows suite runs only against the Windows program, under Wine.
  gtest_discover_tests(lisko_tests TEST_FILTER -Windows.* DISCOVERY_TIMEOUT 30
                       PROPERTIES TIMEOUT 120)
elseif(LISKO_REQUIRE_TESTS)
  message(FATAL_ERROR "the tests need GoogleTest (apt-get install libgtest-dev)")
else()
  message(STATUS "lisko_tests: left out: no GoogleTest (apt-get install libgtest-dev)")
endif()

add_test(NAME install.staged
         COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR}
                 -P ${CMAKE_SOURCE_DIR}/cmake/check_install.cmake)

# The install script of the tests' packages, against an apt that gives nothing.
find_program(LISKO_APT_GET apt-get)
if(LISKO_APT_GET)
  add_test(NAME install_test_deps.check COMMAND ${CMAKE_SOURCE_DIR}/tools/install-test-deps-test)
else()
  add_skipped_test(install_test_deps.check "no apt-get: not a Debian machine")
endif()

# The manual page: linted with mandoc (or groff), rendered with man. The
# lint stops at warnings: its style notes also report the pages that this
# machine lacks (rsync(1) on a fresh one), which is no fault of the page.
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

# Every function of the tool stays small and plain.
find_program(LISKO_CLANG_TIDY clang-tidy)
list(TRANSFORM LISKO_PLATFORM_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE platform_sources)
list(TRANSFORM LISKO_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
set(LISKO_LINT_ARGS --quiet --warnings-as-errors=*
    "--checks=-*,readability-function-cognitive-complexity,readability-function-size"
    "--config={CheckOptions: [{key: readability-function-cognitive-complexity.Threshold, value: 15}, {key: readability-function-size.LineThreshold, value: 60}]}")
if(LISKO_CLANG_TIDY)
  add_test(NAME lint.function_size
           COMMAND ${LISKO_CLANG_TIDY} -p ${CMAKE_BINARY_DIR} ${LISKO_LINT_ARGS}
                   ${sources} ${platform_sources} ${CMAKE_SOURCE_DIR}/src/main.cc)
else()
  add_skipped_test(lint.function_size "no clang-tidy (apt-get install clang-tidy)")
endif()

if(LISKO_WINDOWS_TESTS)
  include(cmake/windows_tests.cmake)
endif()
