# The playlist fuzzer, which runs for a bounded time as a test; run it
# longer by hand (see the README).
enable_testing()
add_executable(playlist_fuzzer fuzz/playlist_fuzzer.cc)
target_link_libraries(playlist_fuzzer PRIVATE lisko_lib)
target_link_options(playlist_fuzzer PRIVATE -fsanitize=fuzzer)
set(LISKO_FUZZ_SECONDS 60 CACHE STRING "How long the fuzzing test runs")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/corpus)
add_test(NAME fuzz.playlist
         COMMAND playlist_fuzzer -max_total_time=${LISKO_FUZZ_SECONDS} -max_len=8192
                 ${CMAKE_BINARY_DIR}/corpus ${CMAKE_SOURCE_DIR}/fuzz/corpus)
set_tests_properties(fuzz.playlist PROPERTIES TIMEOUT 600)
