# Checks a cross-built lisko.exe with objdump: its format (PE32 or PE32+),
# the console subsystem, CopyFileA imported from KERNEL32.dll, and no DLL
# but the system's own, since it is linked statically.
#   cmake -DOBJDUMP=... -DPROGRAM=.../lisko.exe -DFORMAT=PE32 -P this-file
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
string(REGEX MATCH "DLL Name: KERNEL32.dll[^D]*[\t ]CopyFileA\n" copy_import "${dump}")
if(NOT copy_import)
  message(FATAL_ERROR "${PROGRAM} does not import CopyFileA from KERNEL32.dll")
endif()
message(STATUS "${PROGRAM}: ${FORMAT} console program importing CopyFileA; DLLs: ${dlls}")
