#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need; a no-op when present.
# --gui adds the GTK program's, --windows the cross builds' and Wine's.
set -euo pipefail
packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libcurl4-openssl-dev libcpp-httplib-dev
          libssl-dev openssl ca-certificates nginx clang libclang-rt-14-dev dpkg-dev unzip)
for option in "$@"; do
  case $option in
    --gui) packages+=(libgtk-3-dev libwebkit2gtk-4.1-0 xvfb xauth xdotool imagemagick fonts-noto-cjk) ;;
    --windows) packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 googletest fonts-noto-cjk) ;;
    *) echo "usage: $0 [--gui] [--windows]" >&2; exit 2 ;;
  esac
done
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
