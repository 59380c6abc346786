#!/usr/bin/env bash
# Draws the program's icon (a download arrow on a blue tile) with ImageMagick: the 256-pixel PNG
# of the Linux package and the multi-size ICO of the Windows program. The results are kept in the
# tree, so a build needs no ImageMagick; run this again only to change the icon.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
  -fill '#1d5fbf' -draw 'roundrectangle 16,16 239,239 40,40' \
  -stroke white -strokewidth 22 -fill none \
  -draw 'stroke-linecap round stroke-linejoin round line 128,56 128,146 polyline 84,106 128,150 172,106 line 66,194 190,194' \
  -depth 8 tovak-downloader.png
convert tovak-downloader.png -define icon:auto-resize=256,48,32,16 windows/tovak-downloader.ico
