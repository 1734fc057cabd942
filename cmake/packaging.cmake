# Installing lisko, and its packages: a Debian package of the native build
# and a .zip of each Windows build. The version comes from project().
include(GNUInstallDirs)

if(WIN32)
  # A .zip to unpack anywhere: the program with its README and licence.
  install(TARGETS lisko RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME lisko-${PROJECT_VERSION}-windows-x86)
  else()
    set(CPACK_PACKAGE_FILE_NAME lisko-${PROJECT_VERSION}-windows-x64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  configure_file(man/lisko.1.in ${CMAKE_BINARY_DIR}/lisko.1 @ONLY)
  install(TARGETS lisko RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/lisko.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # lisko_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends from dpkg-shlibdeps
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the lisko authors <lisko@users.noreply.invalid>")
endif()

set(CPACK_PACKAGE_NAME lisko)
set(CPACK_PACKAGE_VENDOR "the lisko authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy the files of an M3U playlist to one destination")
set(CPACK_PACKAGE_DESCRIPTION
    "lisko copies every file that an M3U playlist lists to one destination (a stick, a player, a folder), under the destination prefix followed by the file's own name, and prints one line per copy.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build/packages)
include(CPack)
