#!/usr/bin/env bash
# Makes a fresh Wine prefix at $1 whose drive D: is the folder $2, so that the program's own
# "D:\01-Download\diRediruzu\" lands in a folder of the test run.
set -euo pipefail
prefix=$1 drive_d=$2
rm -rf "$prefix" "$drive_d"
mkdir -p "$prefix" "$drive_d"
WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 wineboot -i > "$prefix.log" 2>&1
# Wine's dialog fonts have no Chinese glyphs, so message boxes would show boxes; link them to
# Debian's Noto CJK font, as a Chinese Windows links its own.
for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
  WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$face" /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC' /f >> "$prefix.log" 2>&1
done
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
ln -sfn "$drive_d" "$prefix/dosdevices/d:"
