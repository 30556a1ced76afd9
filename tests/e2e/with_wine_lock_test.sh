#!/usr/bin/env bash
# Two scripts/with-wine commands on one prefix at once, as a user starts
# scripts/run while a test runs: the second waits for the first, saying so
# once, and both end as they would alone, each with its own exit code; with
# WITH_WINE_WAIT the second gives up after that long with a clear message.
# Runs on the stock prefix, so that the suite's own session is not in the way.
#   with_wine_lock_test.sh SCRIPTS_FOLDER
set -uo pipefail
with_wine=$1/with-wine
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# The first holds the prefix for two seconds with a Wine program running.
"$with_wine" --stock sh -c 'wine cmd /c exit 0 && sleep 2 && wine cmd /c exit 3' \
  2>"$work/first.err" &
first=$!
sleep 0.5
"$with_wine" --stock wine cmd /c exit 4 2>"$work/second.err"
second_code=$?
wait "$first"
first_code=$?
[ "$first_code" = 3 ] || fail "the first command ended with $first_code, not 3: $(cat "$work/first.err")"
[ "$second_code" = 4 ] || fail "the second command ended with $second_code, not 4: $(cat "$work/second.err")"
waits=$(grep -c "waiting" "$work/second.err")
[ "$waits" = 1 ] || fail "the second command said $waits times that it waits: $(cat "$work/second.err")"
grep -q "waiting" "$work/first.err" && fail "the first command waited: $(cat "$work/first.err")"

# With a time limit the second gives up while the first still holds it.
"$with_wine" --stock sleep 4 2>/dev/null &
first=$!
sleep 0.5
WITH_WINE_WAIT=1 "$with_wine" --stock true 2>"$work/limited.err"
limited_code=$?
wait "$first"
[ "$limited_code" = 75 ] || fail "the limited wait ended with $limited_code, not 75"
grep -q "gave up after 1 s" "$work/limited.err" ||
  fail "no clear message after the limited wait: $(cat "$work/limited.err")"

[ "$failed" = 0 ] && echo "with-wine lock: passed"
exit "$failed"
