#!/usr/bin/env bash
# Checks what the release packages hold: the .deb of the Linux program and the .zip of each
# Windows build.
#   check_packages.sh PROGRAM.deb WIN32.zip WIN64.zip
set -euo pipefail
deb=${1:?usage: check_packages.sh PROGRAM.deb WIN32.zip WIN64.zip}
win32=${2:?}
win64=${3:?}
fail() { echo "$*" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/tovak-downloader ./usr/share/applications/tovak-downloader.desktop \
            ./usr/share/icons/hicolor/256x256/apps/tovak-downloader.png; do
  grep -q " $path\$" <<< "$contents" || fail "$deb lacks $path"
done
grep -q '^-rwxr-xr-x .* ./usr/bin/tovak-downloader$' <<< "$contents" || fail "the program in $deb is not executable"
depends=$(dpkg-deb -f "$deb" Depends)
# The libraries it links, and the browser engine that it loads at run time.
for library in libgtk-3-0 libcurl4 libglib2.0-0 libwebkit2gtk-4.1-0; do
  grep -q "$library" <<< "$depends" || fail "$deb does not depend on $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = fonts-noto-cjk ] || fail "$deb does not recommend a CJK font"
echo "$(basename "$deb"): program, desktop entry and icon; Depends: $depends"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wke_functions=(wkeCreateWebView wkeGetStringW wkeGetTitleW wkeInitialize wkeInitializeEx wkeIsInitialize
               wkeLoadURLW wkeOnLoadingFinish wkeResize wkeSetHandle)
check_zip() {  # zip, object format, objdump of that architecture
  local zip=$1 format=$2 objdump=$3 name folder
  name=$(basename "$zip" .zip)
  listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
  [ "$listed" = "$name/README.txt $name/node.dll $name/tovak-downloader.exe " ] || fail "$zip holds: $listed"
  folder="$work/$name"
  unzip -q "$zip" -d "$work"
  for binary in tovak-downloader.exe node.dll; do
    "$objdump" -f "$folder/$binary" | grep -q "file format $format" || fail "$binary of $zip is not $format"
    # Linked statically: nothing of the toolchain is needed beside it.
    if "$objdump" -p "$folder/$binary" | grep -Eiq 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
      fail "$binary of $zip needs a DLL of the toolchain"
    fi
  done
  exports=$("$objdump" -p "$folder/node.dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}' | sort | tr '\n' ' ')
  [ "$exports" = "${wke_functions[*]} " ] || fail "node.dll of $zip exports: $exports"
  echo "$(basename "$zip"): $format program, node.dll with the engine's ten functions, README.txt"
}
check_zip "$win32" pei-i386 i686-w64-mingw32-objdump
check_zip "$win64" pei-x86-64 x86_64-w64-mingw32-objdump
