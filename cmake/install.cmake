# Installing Zariza编辑器 on a Linux desktop, the Debian package made from that installation, and the
# version resource of the Windows executable. Included at the end of the top-level CMakeLists.txt.
include(GNUInstallDirs)

set(ZARIZA_APP_ID org.zariza.Editor)
set(ZARIZA_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
# The day this version was released, in the metadata and the manual pages; the newest entry of
# resources/changelog carries the same day.
set(ZARIZA_RELEASE_DATE 2026-12-08)

include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
# What follows installs on a Linux desktop and tests the Debian package.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

# Qt's project setup points an installed program at $ORIGIN/../lib for bundled Qt libraries; the
# program uses the system's Qt, and a Debian binary must not carry its own search path.
set_target_properties(zariza PROPERTIES INSTALL_RPATH "")
install(TARGETS zariza RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
  # Full RELRO, as Debian builds its programs: relocations resolved at start, then read-only.
  target_link_options(zariza PRIVATE LINKER:-z,relro,-z,now)
  # When the package strips the program, the compiler's version notes go with the symbols.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zariza\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()
install(FILES ${ZARIZA_RESOURCES}/${ZARIZA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZARIZA_RESOURCES}/zariza.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
        RENAME ${ZARIZA_APP_ID}.png)
install(FILES ${ZARIZA_RESOURCES}/zariza-128.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
        RENAME ${ZARIZA_APP_ID}.png)
# The release entry carries the project version.
configure_file(${ZARIZA_RESOURCES}/${ZARIZA_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${ZARIZA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${ZARIZA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

include(${CMAKE_CURRENT_LIST_DIR}/debian-docs.cmake)

# The Debian package: `cmake --build build --target package` leaves
# build/zariza_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zariza)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zariza Developers <dev@zariza.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one-window editor for HTML source text")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_PACKAGE_DESCRIPTION
    "Zariza编辑器 edits the source text of a web page in one window and shows it
in the desktop's web browser at the press of a button. Pages are written in
GBK, or in UTF-8 when the page declares that character set.")
# The Qt libraries come from shlibdeps; the window cannot open without the platform plugins, which
# no library links to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The standard dialogs speak Chinese only with the Qt translations: without them they mix
# "Look in:", "Computer" and "New Folder" with the editor's Chinese. The text box reads the layout
# of Qt's own document, which only the Qt it was built with is known to have (Debian's qt6-base-abi).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, qt6-base-abi (= ${Qt6_VERSION})")
# The buttons need a Song/Ming face and the preview needs xdg-open. Under fcitx5 a Qt 6 program
# gets no input method without fcitx5's Qt 6 plugin; ibus works through Qt's own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-arphic-uming | fonts-noto-cjk, xdg-utils, fcitx5-frontend-qt6")
include(CPack)

find_package(Python3 QUIET COMPONENTS Interpreter)
if(BUILD_TESTING AND Python3_Interpreter_FOUND)
  set(ZARIZA_PACKAGE_TESTS ${PROJECT_SOURCE_DIR}/tests/package)

  add_test(NAME package_deb
           COMMAND Python3::Interpreter ${ZARIZA_PACKAGE_TESTS}/check_deb.py
                   --cpack ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
                   --version ${PROJECT_VERSION} --app-id ${ZARIZA_APP_ID})
  set_tests_properties(package_deb PROPERTIES LABELS package SKIP_RETURN_CODE 77 TIMEOUT 300)

  add_test(NAME windows_version_resource
           COMMAND Python3::Interpreter ${ZARIZA_PACKAGE_TESTS}/check_windows_resource.py
                   --rc ${ZARIZA_WINDOWS_RESOURCES}/zariza.rc --version ${PROJECT_VERSION}
                   --preprocessor ${CMAKE_CXX_COMPILER})
  set_tests_properties(windows_version_resource PROPERTIES LABELS package SKIP_RETURN_CODE 77)
endif()
