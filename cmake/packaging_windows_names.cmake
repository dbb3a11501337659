# Read by CPack once per generator (see packaging_windows.cmake).
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "klarvenor-${CPACK_PACKAGE_VERSION}-setup")
endif()
