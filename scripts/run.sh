#!/usr/bin/env bash
# Builds everything, serves the demo portal on 127.0.0.1 and starts the shell under Wine.
# With a display ($DISPLAY) the shell runs there until you close it; without one it runs on a
# virtual display, a screenshot is written to build/run/screenshot.png and the script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

win=build/win
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build "$win" -j"$(nproc)"
export TW_WIN_BUILD="$PWD/$win"
exec python3 scripts/run_shell.py "$@"
