#!/bin/sh
# Runs one Windows program under Wine: the MinGW-w64 toolchain's
# CMAKE_CROSSCOMPILING_EMULATOR, so ctest and test discovery come through here.
#
# Wine's loader starts a server that quits with the last program, and the
# next program then waits seconds for Wine's services to start again. A
# server that stays up for a while serves a whole test run instead; when one
# is running already, this start fails at once and changes nothing.
wine=${VELVET_WINE:-wine}
if "${WINESERVER:-wineserver}" -p30 </dev/null >/dev/null 2>&1; then
  # A new server. Wine's services start with its first program and keep that
  # program's standard streams, so ctest would wait for them to end before
  # it sees the test's output close: start them here, holding none of ctest's.
  "$wine" wineboot </dev/null >/dev/null 2>&1
fi
exec "$wine" "$@"
