# Installs lisko into a staging folder (DESTDIR), checks what landed there,
# and runs the installed program on the example playlist.
#   cmake -DBUILD=<build folder> -DSOURCE=<source folder> -P this-file
set(stage ${BUILD}/stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${stage}
                        ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/lisko share/man/man1/lisko.1.gz share/doc/lisko/README.md
             share/doc/lisko/copyright share/doc/lisko/changelog.gz)
  if(NOT EXISTS ${stage}/usr/${file})
    message(FATAL_ERROR "not installed: /usr/${file}")
  endif()
endforeach()

file(MAKE_DIRECTORY ${stage}/copied)
execute_process(COMMAND ${stage}/usr/bin/lisko examples/playlist.m3u ${stage}/copied/
                WORKING_DIRECTORY ${SOURCE} OUTPUT_VARIABLE out RESULT_VARIABLE status)
string(REGEX MATCHALL "succeeded" copies "${out}")
list(LENGTH copies count)
if(NOT status EQUAL 0 OR NOT count EQUAL 3)
  message(FATAL_ERROR "the installed lisko said (status ${status}):\n${out}")
endif()
foreach(name "01 Intro" "02 Theme" "03 Outro")
  file(READ "${SOURCE}/examples/music/${name}.mp3" expected)
  file(READ "${stage}/copied/${name}.mp3" copied)
  if(NOT copied STREQUAL expected)
    message(FATAL_ERROR "${name}.mp3 was not copied whole")
  endif()
endforeach()
file(REMOVE_RECURSE ${stage})
message(STATUS "installed and ran /usr/bin/lisko from a staging folder")
