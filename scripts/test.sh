#!/usr/bin/env bash
# Builds everything and runs every test: the native core under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the real Windows programs under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
native=build/native
win=build/win

cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON >/dev/null
cmake --build "$native" -j"$jobs"
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build "$win" -j"$jobs"

status=0
echo "== native unit tests"
ctest --test-dir "$native" -j"$jobs" --output-on-failure --timeout 300 || status=1
echo "== Wine tests"
ctest --test-dir "$win" --output-on-failure --timeout 600 || status=1
exit $status
