#!/usr/bin/env bash
# The web and Wine tests with the machine kept busy: builds like test.sh, starts one busy loop per
# processor, and runs the tests labelled web and wine ROUNDS times (default 3), so a test that waits
# for a moment instead of a state shows up. Usage: scripts/test_load.sh [ROUNDS]
#   TW_LOAD_TESTS=REGEX  only the tests whose names match (the Wine session's set-up and tear-down
#                        come with any Wine test), e.g. TW_LOAD_TESTS='web|test_shell'.
# Prints a count per round and, last, "load: R rounds, N passed, M failed"; exits non-zero on any
# failure. The busy loops end with the script, however it ends. test.sh is what CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
case $rounds in '' | *[!0-9]* | 0) echo "usage: $0 [ROUNDS]  (a whole number, at least 1)" >&2; exit 2 ;; esac
. scripts/test_build.sh
tw_build_all

busy=()
stop_busy() {
  [ ${#busy[@]} -gt 0 ] && kill "${busy[@]}" 2>/dev/null
  busy=()
}
trap stop_busy EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
for _ in $(seq "$TW_JOBS"); do
  while :; do :; done &
  busy+=($!)
done
echo "== load: ${#busy[@]} busy loops on $TW_JOBS processors, $rounds rounds of the web and Wine tests ($TW_ARCH build)"

select=()
[ -n "${TW_LOAD_TESTS:-}" ] && select=(-R "$TW_LOAD_TESTS")
status=0
rounds_line=()
for round in $(seq "$rounds"); do
  before_passed=$TW_PASSED before_failed=$TW_FAILED
  echo "== load round $round/$rounds: web tests"
  tw_ctest "$TW_NATIVE_DIR" -L web "${select[@]}" --output-on-failure --timeout 300 || status=1
  echo "== load round $round/$rounds: Wine tests ($TW_ARCH build)"
  tw_ctest "$TW_WIN_DIR" -L wine "${select[@]}" --output-on-failure --timeout 600 || status=1
  line="round $round: $((TW_PASSED - before_passed)) passed, $((TW_FAILED - before_failed)) failed"
  rounds_line+=("$line")
  echo "== load $line"
done
stop_busy
printf '%s\n' "${rounds_line[@]}"
echo "load: $rounds rounds, $TW_PASSED passed, $TW_FAILED failed"
exit $status
