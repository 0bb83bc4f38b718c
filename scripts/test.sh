#!/usr/bin/env bash
# Builds everything and runs every test: the native core under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the real Windows programs under Wine on a virtual display.
# The Wine tests run the i686 build in a 32-bit prefix where this machine runs 32-bit programs,
# otherwise (or with TW_FORCE_WIN64=1) the x86_64 build in a 64-bit prefix; see wine_arch.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
. scripts/wine_arch.sh
tw_pick_arch
echo "== Wine tests will exercise the $TW_ARCH build: $TW_ARCH_WHY"

jobs=$(nproc)
native=build/native

cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON >/dev/null
cmake --build "$native" -j"$jobs"
cmake -S . -B "$TW_WIN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$TW_TOOLCHAIN" >/dev/null
cmake --build "$TW_WIN_DIR" -j"$jobs"

status=0
echo "== native unit tests"
ctest --test-dir "$native" -j"$jobs" --output-on-failure --timeout 300 || status=1
echo "== Wine tests ($TW_ARCH build)"
ctest --test-dir "$TW_WIN_DIR" --output-on-failure --timeout 600 || status=1
echo "== summary: native tests and Wine tests on the $TW_ARCH build ($TW_ARCH_WHY): $([ $status = 0 ] && echo passed || echo FAILED)"
exit $status
