# Installation and the Debian package (cpack -G DEB). The programs go to bin/, the
# desktop entry and its icon where desktops look for them; the entry starts torq32
# through torq32-desktop, which gives it one settings folder of its own.
include(GNUInstallDirs)

foreach(program torq32 torq32-cli lzz)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The backup's worker program is no command of its own: it lives where helper programs go.
install(TARGETS torq32-worker RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/torq32)

if(TARGET torq32)
  install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/torq32-desktop DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/torq32.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/torq32.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torq32)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The authors of Varn ICQ Backup")
set(CPACK_PACKAGE_CONTACT "Varn ICQ Backup authors <maintainers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Backs up and restores the data folders of the ICQ messenger")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.example.org/varn")
# Debian's Qt 6 and zlib runtime packages (and the C and C++ runtimes), as the programs
# are linked against them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
