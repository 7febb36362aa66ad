# Windows: one folder holding both programs, the Qt libraries and plugins they load, MinGW's
# runtime, and the files the wizard looks for beside itself; packed as a zip and as an installer
# with a Start-menu entry. The user's settings (in the registry) are not the installer's: its
# uninstaller removes what it installed and nothing else.
install(TARGETS rowlark rowlark-dedupe RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/resources/HAND-M.CUR
              ${CMAKE_SOURCE_DIR}/resources/local-connection-example.jpg DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION . RENAME copyright.txt)

# The Qt the programs were linked with (its bin folder holds the DLLs, its plugins folder the
# platform plugin, the native style, and the reader of the cursor file).
get_target_property(ROWLARK_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT ROWLARK_QT_CORE_DLL)
    get_target_property(ROWLARK_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(ROWLARK_QT_BIN ${ROWLARK_QT_CORE_DLL} DIRECTORY)
get_filename_component(ROWLARK_QT_PLUGINS ${ROWLARK_QT_BIN}/../plugins ABSOLUTE)
install(FILES ${ROWLARK_QT_BIN}/Qt6Core.dll ${ROWLARK_QT_BIN}/Qt6Gui.dll ${ROWLARK_QT_BIN}/Qt6Widgets.dll
        DESTINATION .)
install(FILES ${ROWLARK_QT_PLUGINS}/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${ROWLARK_QT_PLUGINS}/styles/qwindowsvistastyle.dll DESTINATION styles)
install(FILES ${ROWLARK_QT_PLUGINS}/imageformats/qico.dll DESTINATION imageformats)

# MinGW's C++ runtime, wherever this compiler keeps it.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}")
        find_file(found_${dll} ${dll} PATHS /usr/x86_64-w64-mingw32/lib /usr/lib/gcc/x86_64-w64-mingw32
                  PATH_SUFFIXES 12-posix 12 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        set(found ${found_${dll}})
    endif()
    if(NOT EXISTS "${found}")
        message(FATAL_ERROR "MinGW's ${dll} was not found (package mingw-w64)")
    endif()
    install(FILES ${found} DESTINATION .)
endforeach()

set(CPACK_PACKAGE_NAME rowlark)
set(CPACK_PACKAGE_VENDOR "Rowlark")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Wizard that removes duplicate rows from a SQL Server table")
set(CPACK_PACKAGE_FILE_NAME rowlark-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Rowlark)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/packaging/copyright)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP NSIS)

set(CPACK_NSIS_DISPLAY_NAME Rowlark)
set(CPACK_NSIS_PACKAGE_NAME Rowlark)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/pages/icons/rowlark.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME rowlark.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES rowlark Rowlark)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for 64-bit programs: it also runs where 32-bit programs cannot (a Wine with
# no 32-bit half, Windows on ARM without the x86 layer).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
include(CPack)
