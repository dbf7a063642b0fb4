# Windows: the version resource of zariza.exe (on every platform, for its test) and, when building
# for Windows, the folder the program runs from: `cmake --install` puts zariza.exe there with the
# Qt libraries and plugins it loads, the MinGW runtime, qt.conf and Qt's Chinese translation.
# scripts/build-windows packs that folder as an installer and as a portable zip.
set(ZARIZA_WINDOWS_RESOURCES ${PROJECT_BINARY_DIR}/windows)
configure_file(${ZARIZA_RESOURCES}/zariza.rc.in ${ZARIZA_WINDOWS_RESOURCES}/zariza.rc @ONLY)
# The .rc names its icon without a folder.
configure_file(${ZARIZA_RESOURCES}/zariza.ico ${ZARIZA_WINDOWS_RESOURCES}/zariza.ico COPYONLY)
if(NOT WIN32)
  return()
endif()

target_sources(zariza PRIVATE ${ZARIZA_WINDOWS_RESOURCES}/zariza.rc)
install(TARGETS zariza RUNTIME DESTINATION .)

get_target_property(zariza_qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
cmake_path(GET zariza_qt_core_dll PARENT_PATH zariza_qt_bin)
cmake_path(GET zariza_qt_bin PARENT_PATH zariza_qt_prefix)
install(FILES ${zariza_qt_bin}/Qt6Core.dll ${zariza_qt_bin}/Qt6Gui.dll
              ${zariza_qt_bin}/Qt6Widgets.dll
        DESTINATION .)
# Plugins in folders beside the program, where Qt looks first.
install(FILES ${zariza_qt_prefix}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${zariza_qt_prefix}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
install(DIRECTORY ${zariza_qt_prefix}/plugins/imageformats DESTINATION .)

# The C++ runtime the compiler's libraries come from.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE zariza_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE zariza_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(zariza_libwinpthread libwinpthread-1.dll PATHS /usr/x86_64-w64-mingw32/lib
          NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
install(FILES ${zariza_libstdcxx} ${zariza_libgcc} ${zariza_libwinpthread} DESTINATION .)

# The file dialogs and message boxes speak Chinese whatever Windows' language is.
find_file(zariza_qt_zh_CN qtbase_zh_CN.qm
          PATHS ${zariza_qt_prefix}/translations /usr/share/qt6/translations
          NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
install(FILES ${zariza_qt_zh_CN} DESTINATION translations)
install(FILES ${ZARIZA_RESOURCES}/windows/qt.conf DESTINATION .)
