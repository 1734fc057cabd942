# Installing lisko, and its packages: a Debian package of the native build
# and a .zip of each Windows build. The version and its date come from
# CMakeLists.txt.
include(GNUInstallDirs)

if(WIN32)
  # A .zip to unpack anywhere: the program, a short README with Windows
  # line ends, and the licence.
  configure_file(packaging/README.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS lisko RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME lisko-${PROJECT_VERSION}-windows-x86)
  else()
    set(CPACK_PACKAGE_FILE_NAME lisko-${PROJECT_VERSION}-windows-x64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  execute_process(COMMAND date -u -d ${LISKO_DATE} "+%B %-d, %Y" OUTPUT_VARIABLE LISKO_MAN_DATE
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND date -u -R -d ${LISKO_DATE} OUTPUT_VARIABLE LISKO_CHANGELOG_DATE
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  configure_file(man/lisko.1.in lisko.1 @ONLY)
  configure_file(packaging/changelog.in changelog @ONLY)
  # Installed compressed, as Debian wants them; -n keeps the bytes the
  # same from build to build.
  add_custom_command(OUTPUT lisko.1.gz changelog.gz
                     COMMAND gzip -9nkf lisko.1 changelog
                     DEPENDS ${CMAKE_BINARY_DIR}/lisko.1 ${CMAKE_BINARY_DIR}/changelog)
  add_custom_target(compressed_docs ALL DEPENDS lisko.1.gz changelog.gz)
  install(TARGETS lisko RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/lisko.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES doc/copying.md doc/testing.md doc/performance.md doc/design.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # lisko_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends from dpkg-shlibdeps
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the lisko authors <lisko@users.noreply.invalid>")
endif()

set(CPACK_PACKAGE_NAME lisko)
set(CPACK_PACKAGE_VENDOR "the lisko authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy the files of a playlist to one destination")
set(CPACK_PACKAGE_DESCRIPTION
    "lisko copies every file that a playlist (M3U, M3U8, PLS, XSPF, WPL,
ZPL, ASX, WAX, WVX or B4S) lists to one destination, such as a stick, a
player or a folder, under the destination prefix followed by the file's
own name, and prints one line per copy.
.
It reads playlists in UTF-8, UTF-16 and Windows' ANSI code page, finds
relative entries as players do, never writes outside the destination's
folder, replaces a file only once its new content is safely on the
medium, puts every copy on its medium before it ends, and keeps a copy
that holds its song's bytes already where it can read the medium past the
system's cache (ext4, XFS, and sticks the kernel mounts; not through
FUSE).")
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build/packages)
include(CPack)
