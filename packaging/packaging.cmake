# Installation and the Debian package (cpack -G DEB). The programs go to bin/, the
# desktop entry and its icon where desktops look for them; the entry starts torq32
# through torq32-desktop, which gives it one settings folder of its own.
include(GNUInstallDirs)

install(TARGETS torq32-cli lzz RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET torq32)  # the window is built only with VARN_BUILD_GUI
  install(TARGETS torq32 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(TARGET torq32)
  install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/torq32-desktop DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.example.torq32.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/torq32.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/torq32.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size ${VARN_ICON_SIZES})
    install(FILES ${VARN_ICON_DIR}/${size}x${size}/torq32.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# The package's documentation, made by the target package_docs: the changelog and the
# manual pages, gzipped as Debian wants them (-n: no time stamp). The pages of the two
# terminal tools come from their --help by help2man; the normal build makes them too
# where help2man is installed and the tools run here.
set(package_docs ${CMAKE_BINARY_DIR}/package-docs)
set(package_doc_files ${package_docs}/changelog.gz)
add_custom_command(
  OUTPUT ${package_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_docs}
  COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog > ${package_docs}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
set(man_pages)
foreach(page torq32 torq32-desktop)
  add_custom_command(
    OUTPUT ${package_docs}/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_docs}
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/${page}.1 > ${package_docs}/${page}.1.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${page}.1 VERBATIM)
  list(APPEND man_pages ${package_docs}/${page}.1.gz)
endforeach()
set(man_name_torq32-cli "run the actions of Varn ICQ Backup from a terminal")
set(man_name_lzz "compress, restore and check single compressed files")
foreach(tool torq32-cli lzz)
  add_custom_command(
    OUTPUT ${package_docs}/${tool}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_docs}
    COMMAND help2man --no-info --section=1 --name=${man_name_${tool}}
            --output=${package_docs}/${tool}.1 $<TARGET_FILE:${tool}>
    COMMAND gzip -9nf ${package_docs}/${tool}.1
    DEPENDS ${tool} VERBATIM)
  list(APPEND man_pages ${package_docs}/${tool}.1.gz)
endforeach()
find_program(VARN_HELP2MAN help2man)
if(VARN_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  add_custom_target(package_docs ALL DEPENDS ${package_doc_files} ${man_pages})
else()
  add_custom_target(package_docs DEPENDS ${package_doc_files} ${man_pages})
endif()
install(FILES ${package_doc_files} ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/torq32 OPTIONAL)
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torq32)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Varn ICQ Backup authors")
set(CPACK_PACKAGE_CONTACT "Varn ICQ Backup authors <maintainers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Backs up and restores the data folders of the ICQ messenger")
# The long description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Varn ICQ Backup compresses every data file that ICQ keeps (under Wine, or on
a disk copied from a Windows machine) into numbered compressed files in a
backup folder, and puts them back into the ICQ folder when they are needed.
It checks every restored file against the CRC-32 stored with it and never
leaves a data file half-written. It also lists the ICQ user numbers that a
backup holds, tells when a backup was made and searches the drives for ICQ.
.
The package holds the window program torq32, torq32-cli, which runs the
same actions from a terminal, and lzz, which works on single compressed
files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.example.org/varn")
# Debian's Qt 6 and zlib runtime packages (and the C and C++ runtimes), as the programs
# are linked against them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without a metric-compatible Arial the window's captions are cut.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
