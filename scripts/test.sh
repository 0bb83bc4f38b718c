#!/usr/bin/env bash
# Builds everything and runs every test: the native core under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the real Windows programs under Wine on a virtual display.
# The Wine tests run the i686 build in a 32-bit prefix where this machine runs 32-bit programs,
# otherwise (or with TW_FORCE_WIN64=1) the x86_64 build in a 64-bit prefix; see wine_arch.sh.
# One CTest run over both trees (Wine tests run one at a time, alone), so the output ends with
# CTest's own summary of every test; the exit status is non-zero when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/test_build.sh
tw_build_all

all=build/all-tests
mkdir -p "$all"
printf 'subdirs("%s" "%s")\n' "$PWD/$TW_NATIVE_DIR" "$PWD/$TW_WIN_DIR" >"$all/CTestTestfile.cmake"
echo "== native unit, build and web tests, and the Wine tests ($TW_ARCH build: $TW_ARCH_WHY)"
exec ctest --test-dir "$all" -j"$TW_JOBS" --output-on-failure --timeout 600
