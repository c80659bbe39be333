#!/bin/sh
# Runs a test program built for Windows under wine, in a prefix of its own
# (made on first use beside the build's), and waits for its wineserver to
# end before giving back the program's status: CMake's emulator for the
# Windows build. Usage: run_under_wine.sh PREFIX PROGRAM.exe [ARGUMENT...]
set -eu
here=$(dirname "$0")
prefix=$1
shift
flock "$prefix.lock" "$here/make_wineprefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
status=0
wine "$@" || status=$?
wineserver -w
exit $status
