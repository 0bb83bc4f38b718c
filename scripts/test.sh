#!/usr/bin/env bash
# Builds everything and runs every test: the native core under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the real Windows programs under Wine on a virtual display.
# The Wine tests run the i686 build in a 32-bit prefix where this machine runs 32-bit programs,
# otherwise (or with TW_FORCE_WIN64=1) the x86_64 build in a 64-bit prefix; see wine_arch.sh.
# The last line counts every test of both runs; the exit status is non-zero when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/test_build.sh
tw_build_all

status=0
echo "== native unit tests, build and web tests"
tw_ctest "$TW_NATIVE_DIR" -j"$TW_JOBS" --output-on-failure --timeout 300 || status=1
native_passed=$TW_PASSED native_failed=$TW_FAILED
echo "== Wine tests ($TW_ARCH build: $TW_ARCH_WHY)"
tw_ctest "$TW_WIN_DIR" --output-on-failure --timeout 600 || status=1
echo "test: $TW_PASSED passed, $TW_FAILED failed (native, build and web: $native_passed passed," \
  "$native_failed failed; Wine on the $TW_ARCH build: $((TW_PASSED - native_passed)) passed," \
  "$((TW_FAILED - native_failed)) failed)"
exit $status
