#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root). Quick when all is there.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev python3 curl openssl osslsigncode
  wine wine32:i386 wine64 libwine-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-i686
  binutils-mingw-w64-x86-64
  xvfb xdotool imagemagick wixl msitools locales fonts-wqy-microhei chromium nodejs)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# The JavaScript parser of the left page's web test, from the npm registry, under build/node.
bash "$(dirname "$0")/../tests/web/install_parser.sh"
