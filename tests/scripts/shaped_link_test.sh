#!/usr/bin/env bash
# bench/shaped_link.sh on small tables: it runs in a namespace of its own whose loopback is held
# to the rate asked for; each run's three new tables hold the same rows; the table it prints
# names each way with a time, a ratio to the set-based statement and bytes a row, and the job
# that reads keys is the one whose bytes show on the link.
set -uo pipefail
script=${1:?usage: shaped_link_test.sh SCRIPT BUILD_DIR}
build=${2:?}
fail() { echo "FAIL: $*" >&2; exit 1; }

inside=$("$script" --rate 10mbit -- sh -c 'ip -o link show; tc qdisc show dev lo' 2>&1)
status=$?
[ $status -ne 77 ] || { echo "SKIPPED: $inside"; exit 77; }
[ $status -eq 0 ] || fail "the command did not run in the namespace: $inside"
[ "$(grep -c '^[0-9]*: ' <<< "$inside")" = 1 ] || fail "the namespace has other links: $inside"
grep -q "tbf .*rate 10Mbit" <<< "$inside" || fail "the link is not shaped: $inside"

out=$("$script" --runs 2 --rows 3000 --wide-rows 600 --build "$build" 2> "${TMPDIR:-/tmp}/shaped.$$")
status=$?
err=$(cat "${TMPDIR:-/tmp}/shaped.$$")
rm -f "${TMPDIR:-/tmp}/shaped.$$"
[ $status -eq 0 ] || fail "status $status: $err"
[ "$(grep -c '^run [12], ' <<< "$err")" = 4 ] || fail "not every run was reported: $err"
grep -q "load average before" <<< "$err" || fail "the machine's load is not said: $err"
row() { grep -E "^$1" <<< "$out" | head -1; }
for way in "3000 x 3 +set-based statement" "600 x 6 +set-based statement"; do
    [ "$(row "$way" | awk '{ print $(NF - 1) }')" = 1.00 ] || fail "no ratio of 1 for $way: $out"
done
job=$(grep -E "^ +rowlark-dedupe +[0-9]" <<< "$out" | head -1)
server=$(grep -E "^ +rowlark-dedupe --on-server" <<< "$out" | head -1)
[ -n "$job" ] && [ -n "$server" ] || fail "a way is missing: $out"
awk -v j="$(awk '{ print $NF }' <<< "$job")" -v s="$(awk '{ print $NF }' <<< "$server")" \
    'BEGIN { exit !(j > 20 && s < j / 5) }' ||
    fail "the job's key reads did not show on the link beside --on-server: $job / $server"
echo "shaped_link.sh: 1 passed, 0 failed"
