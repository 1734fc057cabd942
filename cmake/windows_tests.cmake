# Tests of the Windows programs, run from the native test suite: both are
# cross-compiled with mingw-w64 and inspected with objdump; the 64-bit one
# then runs the end-to-end suite under Wine. (32-bit programs cannot run on
# our machines.) What this machine lacks is skipped, saying why.
find_program(LISKO_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)

foreach(arch x86 x64)
  if(arch STREQUAL x86)
    set(triple i686-w64-mingw32)
    set(package g++-mingw-w64-i686)
    set(format PE32)
  else()
    set(triple x86_64-w64-mingw32)
    set(package g++-mingw-w64-x86-64)
    set(format PE32+)
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
endforeach()

if(NOT LISKO_MINGW_x64 OR NOT TARGET lisko_tests)
  return()
elseif(NOT LISKO_WINE64)
  add_skipped_test(wine.end_to_end "no /usr/lib/wine/wine64 (apt-get install wine wine64)")
  return()
endif()
set(wine_environment WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all
                     "WINEDLLOVERRIDES=mscoree,mshtml=")
add_test(NAME wine.prefix COMMAND ${LISKO_WINE64} wineboot --init)
add_test(NAME wine.end_to_end COMMAND lisko_tests --gtest_filter=EndToEnd.*:Windows.*)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine-prefix TIMEOUT 300
                     ENVIRONMENT "${wine_environment}")
set_tests_properties(wine.end_to_end PROPERTIES
  FIXTURES_REQUIRED "windows-x64;wine-prefix" TIMEOUT 600
  ENVIRONMENT "${wine_environment};LISKO_RUNNER=${LISKO_WINE64};LISKO_PROGRAM=${CMAKE_SOURCE_DIR}/build/windows-x64/lisko.exe")
