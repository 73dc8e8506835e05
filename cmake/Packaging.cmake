# SPDX-License-Identifier: GPL-3.0-or-later
# Install rules for everything beside the programs, and the Debian package. Included from
# packaging/CMakeLists.txt, which sets the TAVREL_* names used here. The programs' own
# install(TARGETS) rules live with their targets.

set(packaging_src ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_bin ${PROJECT_BINARY_DIR}/packaging)

install(FILES ${packaging_src}/FONTS ${packaging_src}/copyright ${packaging_bin}/changelog.gz
        DESTINATION ${TAVREL_DOC_DIR})
# Help > Content opens the guide, so it lives with the program's data: a system may leave
# /usr/share/doc out (Debian Policy 12.3).
install(FILES ${TAVREL_GUIDE} DESTINATION ${CMAKE_INSTALL_DATADIR}/${TAVREL_PACKAGE_NAME})
install(FILES ${packaging_bin}/tavrel-sync-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Where bash-completion loads a command's completion from when it is first completed.
install(FILES ${packaging_src}/completions/tavrel-sync-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# Lintian's notes on texts the program must keep as they are; see the file's comments.
install(FILES ${packaging_src}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME ${TAVREL_PACKAGE_NAME})

if(TAVREL_BUILD_GUI)
  install(FILES ${packaging_src}/${TAVREL_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${packaging_bin}/tavrel-sync.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${packaging_src}/completions/tavrel-sync
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${packaging_bin}/${TAVREL_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  # The project file type, so the desktop opens a .TSP in the window.
  install(FILES ${packaging_src}/tavrel-sync.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages)
endif()
if(TAVREL_HAVE_ICONS)
  install(FILES ${TAVREL_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
          RENAME ${TAVREL_ICON_NAME}.svg)
  install(DIRECTORY ${packaging_bin}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)
endif()

# Debian package
set(CPACK_PACKAGE_NAME ${TAVREL_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Tavrel Synchronizer developers")
set(CPACK_PACKAGE_CONTACT "Tavrel Synchronizer developers <maintainers@tavrel.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps folders in step: copy, mirror or synchronize folder pairs")
# One string with its own line breaks: a list of strings would reach the control file joined
# by ';', and dpkg wants extended description lines under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tavrel Synchronizer runs a job of up to 100 folder pairs. Each pair copies\n"
  "what the target lacks, updates older files, replaces whatever differs,\n"
  "mirrors the original exactly or synchronizes both ways, filtered by name\n"
  "patterns, a content check and rules for read-only and hidden files.\n"
  "\n"
  "Jobs are saved as project files, and every run shows a live log, progress\n"
  "and counters and leaves an HTML report of its changes. tavrel-sync is the\n"
  "window program; tavrel-sync-cli runs saved jobs from scripts and timers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)

# dpkg-shlibdeps derives the library dependencies (Qt 6, the C and C++ runtimes) with
# their exact versions from the programs. Without it they are declared by name. Fonts are never
# linked, so they are always declared.
find_program(TAVREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
set(tavrel_depends)
if(TAVREL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  list(APPEND tavrel_depends "libqt6core6 (>= 6.4)")
  if(TAVREL_BUILD_GUI)
    list(APPEND tavrel_depends "libqt6gui6 (>= 6.4)" "libqt6widgets6 (>= 6.4)" "libqt6svg6 (>= 6.4)")
  endif()
endif()
if(TAVREL_BUILD_GUI)
  list(APPEND tavrel_depends fonts-liberation2)
  # The report and the guide open in the desktop's browser through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-wine")
endif()
list(JOIN tavrel_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)
