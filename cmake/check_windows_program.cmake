# Checks a cross-built lisko.exe with objdump: its format (PE32 or PE32+),
# the console subsystem, CopyFileExA imported from KERNEL32.dll, no DLL but
# the system's own (it is linked statically), no debug sections, and its
# version information and application manifest.
#   cmake -DOBJDUMP=... -DPROGRAM=.../lisko.exe -DFORMAT=PE32 -DVERSION=1.2.3 -P this-file
cmake_policy(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}"
                OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump could not read ${PROGRAM}")
endif()

string(REGEX MATCH "Magic[\t ]+[0-9a-f]+[\t ]+\\(([A-Z0-9+]+)\\)" _ "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL FORMAT)
  message(FATAL_ERROR "${PROGRAM} is '${CMAKE_MATCH_1}', not ${FORMAT}")
endif()
if(NOT dump MATCHES "Subsystem[\t ]+0+3[\t ]+\\(Windows CUI\\)")
  message(FATAL_ERROR "${PROGRAM} is not a console program")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
list(TRANSFORM dlls REPLACE "DLL Name: " "")
foreach(dll IN LISTS dlls)
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    message(FATAL_ERROR "${PROGRAM} needs ${dll} beside it")
  endif()
endforeach()
string(REGEX MATCH "DLL Name: KERNEL32.dll[^D]*[\t ]CopyFileExA\n" copy_import "${dump}")
if(NOT copy_import)
  message(FATAL_ERROR "${PROGRAM} does not import CopyFileExA from KERNEL32.dll")
endif()

execute_process(COMMAND "${OBJDUMP}" -h "${PROGRAM}" OUTPUT_VARIABLE sections)
if(sections MATCHES "[\t ](\\.debug[_a-z]*)")
  message(FATAL_ERROR "${PROGRAM} is not stripped: it has ${CMAKE_MATCH_1}")
endif()
# Resource types 16 (version information) and 24 (the manifest).
string(REGEX MATCH "The .rsrc Resource Directory section:.*" resources "${dump}")
foreach(type 000010 000018)
  if(NOT resources MATCHES "Entry: ID: 0x${type}")
    message(FATAL_ERROR "${PROGRAM} lacks the resource of type 0x${type}")
  endif()
endforeach()
file(STRINGS "${PROGRAM}" version_strings ENCODING UTF-16LE)
string(JOIN "\n" version_strings ${version_strings})
foreach(text FileVersion ProductVersion ProductName FileDescription LegalCopyright ${VERSION})
  string(FIND "${version_strings}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PROGRAM}'s version information lacks ${text}")
  endif()
endforeach()
file(STRINGS "${PROGRAM}" manifest REGEX "asInvoker|longPathAware|8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")
list(LENGTH manifest found)
if(found LESS 3)
  message(FATAL_ERROR "${PROGRAM}'s manifest lacks asInvoker, longPathAware or Windows 10 and 11")
endif()
message(STATUS "${PROGRAM}: ${FORMAT} console program importing CopyFileExA, stripped, with "
               "its version information and manifest; DLLs: ${dlls}")
