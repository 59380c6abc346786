#!/usr/bin/env bash
# Makes a fresh Wine prefix at $1 whose drive D: is the folder $2, so that the program's own
# "D:\01-Download\diRediruzu\" lands in a folder of the test run.
set -euo pipefail
prefix=$1 drive_d=$2
rm -rf "$prefix" "$drive_d"
mkdir -p "$prefix" "$drive_d"
WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 wineboot -i > "$prefix.log" 2>&1
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
ln -sfn "$drive_d" "$prefix/dosdevices/d:"
