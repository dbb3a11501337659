# Installation of the Linux desktop integration, and the Debian package that CPack makes of it:
#   cmake --install <build>            programs, desktop entry, icons, AppStream data, man pages
#   cpack --config <build>/CPackConfig.cmake   klarvenor_<version>_<arch>.deb
# The programs' own install rules live beside their targets (src/qt, src/win32, src/cli).
if(NOT WIN32)
    set(klar_linux ${PROJECT_SOURCE_DIR}/packaging/linux)
    set(klar_metainfo example.klarvenor.Klarvenor.metainfo.xml)

    # The administrator launcher (desktop action and polkit action) names the window program
    # by its full path, which is known only at install time: /usr/bin in the package,
    # /usr/local/bin for a plain install.
    set(klar_installed ${PROJECT_BINARY_DIR}/installed)
    set(klar_policy example.klarvenor.Klarvenor.policy)
    install(CODE "
        set(KLAR_WINDOW_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/klarvenor\")
        configure_file(\"${klar_linux}/klarvenor.desktop.in\"
                       \"${klar_installed}/klarvenor.desktop\" @ONLY)
        configure_file(\"${klar_linux}/${klar_policy}.in\" \"${klar_installed}/${klar_policy}\" @ONLY)
    ")
    install(FILES ${klar_installed}/klarvenor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${klar_installed}/${klar_policy} DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
    foreach(size 16 32 48 256)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/klarvenor-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME klarvenor.png)
    endforeach()
    configure_file(${klar_linux}/${klar_metainfo}.in ${PROJECT_BINARY_DIR}/${klar_metainfo} @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${klar_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # Man pages and the package's changelog go in compressed, as Debian policy asks.
    find_program(KLAR_GZIP gzip REQUIRED)
    set(klar_compressed)
    foreach(source docs/man/klarvenor.1 docs/man/klarvenor-cli.1 packaging/linux/changelog)
        get_filename_component(name ${source} NAME)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/compressed/${name}.gz
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
                           COMMAND ${KLAR_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/${source}
                                   > ${PROJECT_BINARY_DIR}/compressed/${name}.gz
                           DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
        list(APPEND klar_compressed ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
    endforeach()
    add_custom_target(klar_compressed_docs ALL DEPENDS ${klar_compressed})
    install(FILES ${PROJECT_BINARY_DIR}/compressed/klarvenor.1.gz
                  ${PROJECT_BINARY_DIR}/compressed/klarvenor-cli.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PROJECT_BINARY_DIR}/compressed/changelog.gz ${klar_linux}/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/klarvenor)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME klarvenor)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_VENDOR "Klarvenor maintainers")
    set(CPACK_PACKAGE_CONTACT "Klarvenor maintainers <maintainers@klarvenor.example>")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wipe the free space of a drive")
    # CPack puts the summary first and indents these lines as the control file wants.
    string(CONCAT CPACK_PACKAGE_DESCRIPTION
           "Klarvenor overwrites the free space of a drive so that the contents of\n"
           "files already deleted cannot be read back. It never opens, changes or\n"
           "deletes an existing file: it fills the free space with filler files that\n"
           "repeat one byte, flushes them to the medium and deletes them, once for\n"
           "every pass of the chosen method (single sweep, DOD 5220.22M, NSA,\n"
           "Canadian, Guttman or UK).\n"
           "\n"
           "This package holds the Qt window (klarvenor) and the command line\n"
           "front end for servers and scripts (klarvenor-cli).")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.klarvenor.example/klarvenor.html")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The "Clear as Administrator" launcher starts the window through pkexec.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pkexec)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    include(CPack)
endif()
