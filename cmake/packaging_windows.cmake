# The Windows packages of klarvenor.exe (`cmake --build --preset windows --target package`):
# klarvenor-<version>-win64.zip, and where Debian's nsis provides makensis, the installer
# klarvenor-<version>-setup.exe with a Start-menu entry and an uninstaller.
set(CPACK_PACKAGE_NAME klarvenor)
set(CPACK_PACKAGE_VENDOR Klarvenor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Klarvenor - Secure Erasure Utility")
set(CPACK_PACKAGE_FILE_NAME klarvenor-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Klarvenor)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_GENERATOR ZIP)

find_program(KLAR_MAKENSIS makensis)
if(KLAR_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
    set(CPACK_NSIS_DISPLAY_NAME Klarvenor)
    set(CPACK_NSIS_PACKAGE_NAME Klarvenor)
    # A 64-bit installer for a 64-bit program (and Wine without its 32-bit half runs it).
    set(CPACK_NSIS_DEFINES "Target amd64-unicode")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/icons/klarvenor.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/icons/klarvenor.ico)
    set(CPACK_NSIS_INSTALLED_ICON_NAME klarvenor.exe)
    set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
    # The Start-menu entry: the program file and the name shown.
    set(CPACK_PACKAGE_EXECUTABLES klarvenor Klarvenor)
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
endif()
# The installer is named for what it does; the zip keeps the platform in its name.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging_windows_names.cmake)
include(CPack)
