#!/bin/sh
# Makes the wine prefix the Windows tests run in, once: a fresh Windows with
# the fonts every Windows has (Debian's wine leaves them out of a prefix),
# without the Mono and Gecko installers, and without menu entries on the
# host. Usage: make_wineprefix.sh FOLDER
set -eu
prefix=$1
if [ -f "$prefix/system.reg" ] && [ -f "$prefix/drive_c/windows/Fonts/fixedsys.ttf" ]; then
    exit 0
fi
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineboot -i >/dev/null 2>&1
wineserver -w
mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
