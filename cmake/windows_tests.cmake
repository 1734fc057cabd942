# Tests of the Windows programs, run from the native test suite: both are
# cross-compiled with mingw-w64 and inspected with objdump, then each runs
# the end-to-end suite under Wine, the 32-bit one under the 32-bit wine and
# the 64-bit one under wine64, each in a prefix of its own, in a UTF-8
# locale (where Wine keeps Unicode names as UTF-8 on the Linux side). What
# this machine lacks is skipped, saying why.

# Runs program --version. Sets out_var to why it cannot run here, or to
# "" where it runs. A kernel without 32-bit support refuses the program
# with ENOEXEC. bash says so ("Exec format error"); a plain execvp would
# hand the program to sh as a script instead.
function(lisko_check_runs program bits out_var)
  execute_process(COMMAND bash -c "exec \"$0\" --version" ${program} RESULT_VARIABLE failed
                  OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  string(TOLOWER "${failed}${out}${err}" said)
  if(NOT failed)
    set(${out_var} "" PARENT_SCOPE)
  elseif(said MATCHES "exec format error")
    set(${out_var} "this kernel cannot run ${bits}-bit programs (Exec format error)" PARENT_SCOPE)
  else()
    string(STRIP "${err}" err)
    string(REGEX REPLACE "\n.*" "" err "${err}")
    set(${out_var} "${program} cannot run here (${err})" PARENT_SCOPE)
  endif()
endfunction()

# The function-size lint of the Windows sources, read through the 64-bit
# build's compile database, with clang told the target and where mingw-w64
# keeps its C++ headers (its g++ knows them; clang does not).
function(lisko_lint_windows_sources)
  execute_process(COMMAND ${LISKO_MINGW_x64} -xc++ -E -v - INPUT_FILE /dev/null
                  OUTPUT_QUIET ERROR_VARIABLE search)
  string(REGEX MATCHALL "\n [^\n]*/include/c\\+\\+[^\n]*" folders "${search}")
  set(extra --extra-arg=--target=x86_64-w64-mingw32)
  foreach(folder IN LISTS folders)
    string(STRIP "${folder}" folder)
    list(APPEND extra --extra-arg=-isystem${folder})
  endforeach()
  list(TRANSFORM LISKO_WINDOWS_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE windows_sources)
  add_test(NAME lint.function_size_windows
           COMMAND ${LISKO_CLANG_TIDY} -p ${CMAKE_SOURCE_DIR}/build/windows-x64 ${LISKO_LINT_ARGS}
                   ${extra} ${windows_sources})
  set_tests_properties(lint.function_size_windows PROPERTIES FIXTURES_REQUIRED windows-x64)
endfunction()

foreach(arch x86 x64)
  if(arch STREQUAL x86)
    set(triple i686-w64-mingw32)
    set(bits 32)
    set(package g++-mingw-w64-i686)
    set(format PE32)
    set(wine wine)
    set(wine_arch win32)
    set(wine_package "wine32:i386, after dpkg --add-architecture i386")
  else()
    set(triple x86_64-w64-mingw32)
    set(bits 64)
    set(package g++-mingw-w64-x86-64)
    set(format PE32+)
    set(wine wine64)
    set(wine_arch win64)
    set(wine_package "wine wine64")
  endif()
  find_program(LISKO_MINGW_${arch} ${triple}-g++)
  find_program(LISKO_OBJDUMP_${arch} ${triple}-objdump)
  if(NOT LISKO_MINGW_${arch} OR NOT LISKO_OBJDUMP_${arch})
    add_skipped_test(windows-${arch}.build "no ${triple}-g++ (apt-get install ${package})")
    continue()
  endif()
  add_test(NAME windows-${arch}.build
           COMMAND ${CMAKE_COMMAND} --workflow --preset windows-${arch}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  add_test(NAME windows-${arch}.inspect
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${LISKO_OBJDUMP_${arch}}
                   -DPROGRAM=${CMAKE_SOURCE_DIR}/build/windows-${arch}/lisko.exe
                   -DFORMAT=${format} -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/check_windows_program.cmake)
  set_tests_properties(windows-${arch}.build PROPERTIES FIXTURES_SETUP windows-${arch} TIMEOUT 600)
  set_tests_properties(windows-${arch}.inspect PROPERTIES FIXTURES_REQUIRED windows-${arch})
  if(arch STREQUAL x64 AND LISKO_CLANG_TIDY)
    lisko_lint_windows_sources()
  endif()

  if(NOT TARGET lisko_tests)
    continue()
  endif()
  # LISKO_WINE_X86 and LISKO_WINE_X64 name another launcher where wanted.
  string(TOUPPER ${arch} ARCH)
  find_program(LISKO_WINE_${ARCH} ${wine} PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT LISKO_WINE_${ARCH})
    add_skipped_test(wine-${arch}.end_to_end "no /usr/lib/wine/${wine} (apt-get install ${wine_package})")
    continue()
  endif()
  # A Wine that installs may still not run: some kernels cannot execute
  # 32-bit programs. Only running it tells; a Wine that runs and then fails
  # its tests fails them.
  lisko_check_runs(${LISKO_WINE_${ARCH}} ${bits} wine_cannot_run)
  if(wine_cannot_run)
    add_skipped_test(wine-${arch}.end_to_end "${wine_cannot_run}")
    continue()
  endif()
  set(wine_environment WINEPREFIX=${CMAKE_BINARY_DIR}/wine-${arch} WINEARCH=${wine_arch}
                       WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" LC_ALL=C.UTF-8)
  # The prefix, and then its server kept for the suite: a program started
  # while the server of the one before is shutting down can fail to start.
  # Debian's Wine notes the server's folder in the prefix: a prefix made by
  # another user (root's CI run, then an ordinary user's) would name one
  # this user may not enter, so the note goes with the old server.
  add_test(NAME wine-${arch}.prefix
           COMMAND sh -c "/usr/lib/wine/wineserver -k; rm -f \"$WINEPREFIX/wineserver\"; \"$0\" wineboot --init && /usr/lib/wine/wineserver -w && /usr/lib/wine/wineserver -p30 </dev/null >/dev/null 2>&1"
                   ${LISKO_WINE_${ARCH}})
  add_test(NAME wine-${arch}.end_to_end COMMAND lisko_tests --gtest_filter=EndToEnd.*:Windows.*)
  set_tests_properties(wine-${arch}.prefix PROPERTIES FIXTURES_SETUP wine-${arch} TIMEOUT 300
                       ENVIRONMENT "${wine_environment}")
  set_tests_properties(wine-${arch}.end_to_end PROPERTIES
    FIXTURES_REQUIRED "windows-${arch};wine-${arch}" TIMEOUT 600
    ENVIRONMENT "${wine_environment};LISKO_RUNNER=${LISKO_WINE_${ARCH}};LISKO_PROGRAM=${CMAKE_SOURCE_DIR}/build/windows-${arch}/lisko.exe")
endforeach()
