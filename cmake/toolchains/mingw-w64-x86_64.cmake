# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model,
# package g++-mingw-w64-x86-64-posix); the test programs run under Wine.
#
#   cmake --workflow --preset windows
#
# The runtime is linked statically (libgcc, libstdc++ and winpthread), so
# the DLLs and test programs need no MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELVET_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELVET_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELVET_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELVET_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW sysroot only; programs that run
# during the build (Wine, objdump) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VELVET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static makes the linker take libwinpthread.a over its import library; the
# Windows system libraries exist only as import libraries and stay DLLs.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
endforeach()

# ctest (and test discovery) run the Windows programs under Wine, in a prefix
# of the build tree's own so that no user's ~/.wine is touched or relied on.
# Without the overrides a new prefix would offer to install Mono and Gecko.
find_program(VELVET_WINE wine REQUIRED)
find_program(VELVET_WINESERVER wineserver REQUIRED)
set(VELVET_WINEPREFIX "${CMAKE_BINARY_DIR}/wine")
set(VELVET_WINE_ENVIRONMENT
    "WINEPREFIX=${VELVET_WINEPREFIX}" "WINEARCH=win64" "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml=" "VELVET_WINE=${VELVET_WINE}"
    "WINESERVER=${VELVET_WINESERVER}")
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ${VELVET_WINE_ENVIRONMENT} /bin/sh
                                  "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
