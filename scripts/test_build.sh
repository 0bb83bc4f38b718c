# Sourced by test.sh and test_load.sh: installs what is missing, picks the Windows build the Wine tests
# use (wine_arch.sh), builds the native tree and that Windows tree, and counts CTest's results.
. scripts/wine_arch.sh

tw_build_all() {
  bash scripts/deps.sh
  tw_pick_arch
  echo "== Wine tests will exercise the $TW_ARCH build: $TW_ARCH_WHY"
  TW_JOBS=$(nproc)
  TW_NATIVE_DIR=build/native
  cmake -S . -B "$TW_NATIVE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON >/dev/null
  cmake --build "$TW_NATIVE_DIR" -j"$TW_JOBS"
  cmake -S . -B "$TW_WIN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$TW_TOOLCHAIN" >/dev/null
  cmake --build "$TW_WIN_DIR" -j"$TW_JOBS"
}

# tw_ctest DIR CTEST-ARGS...: runs CTest on one build folder and adds its counts to TW_PASSED and
# TW_FAILED, read from CTest's own summary line ("N% tests passed, F tests failed out of T").
# A run that fails without that line (CTest itself could not run) counts as one failure.
TW_PASSED=0
TW_FAILED=0
tw_ctest() {
  local dir=$1 log rc summary
  shift
  log=$(mktemp)
  set +e
  ctest --test-dir "$dir" "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  summary=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log" | tail -n 1)
  rm -f "$log"
  if [ -n "$summary" ]; then
    set -- $summary
    TW_FAILED=$((TW_FAILED + $1))
    TW_PASSED=$((TW_PASSED + $2 - $1))
  elif [ "$rc" != 0 ]; then
    TW_FAILED=$((TW_FAILED + 1))
  fi
  return "$rc"
}
