# Cross-builds the Qt-free targets (platform, engine and their tests) for 64-bit Windows with
# mingw-w64, and runs the resulting .exe files through Wine: ctest and gtest_discover_tests go
# through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KLAR_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex work, which the win32 model lacks in GCC 12.
set(CMAKE_C_COMPILER ${KLAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KLAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KLAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KLAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static runtime: the executables need no MinGW DLLs beside them, under Wine or on Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# `wine` picks the 64-bit loader by itself (on Debian a wrapper script does).
find_program(KLAR_WINE NAMES wine wine64 NO_CMAKE_FIND_ROOT_PATH)
if(KLAR_WINE)
    # Through a wrapper that starts Wine again when it ended before the program ran.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${KLAR_WINE})
else()
    message(WARNING "Wine not found: the Windows tests build but cannot run here")
endif()
