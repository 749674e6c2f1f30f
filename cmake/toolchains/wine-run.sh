#!/bin/sh
# Runs one Windows program under Wine: the MinGW-w64 toolchain's
# CMAKE_CROSSCOMPILING_EMULATOR, so ctest and test discovery come through here.
#
# Wine's loader starts a server that quits with the last program, and the
# next program then waits seconds for Wine's services to start again. A
# server that stays up for a while serves a whole test run instead; when one
# is running already, this start fails at once and changes nothing.
"${WINESERVER:-wineserver}" -p30 </dev/null >/dev/null 2>&1
exec "${VELVET_WINE:-wine}" "$@"
