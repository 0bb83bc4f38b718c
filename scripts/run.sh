#!/usr/bin/env bash
# Builds everything, serves the demo portal on 127.0.0.1 and starts the shell under Wine.
# With a display ($DISPLAY) the shell runs there until you close it; without one it runs on a
# virtual display, a screenshot is written to <build>/run/screenshot.png and the script ends.
# The i686 build runs where this machine runs 32-bit programs, otherwise (or with
# TW_FORCE_WIN64=1) the x86_64 build in a 64-bit prefix; see wine_arch.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
. scripts/wine_arch.sh
tw_pick_arch
echo "run: the $TW_ARCH build ($TW_ARCH_WHY)"

cmake -S . -B "$TW_WIN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$TW_TOOLCHAIN" >/dev/null
cmake --build "$TW_WIN_DIR" -j"$(nproc)"
export TW_WIN_BUILD="$PWD/$TW_WIN_DIR"
exec python3 scripts/run_shell.py "$@"
