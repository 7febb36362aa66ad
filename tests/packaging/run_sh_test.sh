#!/usr/bin/env bash
# ./run.sh without a display: it says so and runs the demo job once with rowlark-dedupe.
set -uo pipefail
build=${1:?usage: run_sh_test.sh BUILD_DIR SOURCE_DIR}
source_dir=${2:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
started=$(date +%s%N)
out=$(env -u DISPLAY -u WAYLAND_DISPLAY ROWLARK_SKIP_BUILD=1 ROWLARK_BUILD_DIR="$build" ROWLARK_RUN_DIR="$work/run" \
      "$source_dir/run.sh" 2>&1)
code=$?
took=$(( ($(date +%s%N) - started) / 1000000 ))
fail() { echo "FAIL: $*" >&2; echo "$out" >&2; exit 1; }
[ $code -eq 0 ] || fail "exit $code"
grep -q "^No display: running the demo job once" <<< "$out" || fail "no one-line notice"
grep -q "until the demo job ends" <<< "$out" || fail "the server's lifetime is not told as it is"
grep -q "wizard" <<< "$out" && fail "a wizard is named where none opens"
# Starting the demo, the job and stopping the demo take about a second; stopping alone took 3.5 s.
[ "$took" -lt 2500 ] || fail "run.sh took $took ms"
grep -q "^Read 10 rows, removed 4 duplicates: \[CustomersDeduplicated\] holds 6 rows.$" <<< "$out" || fail "no summary"
pgrep -f "rowlark-sandbox --data $work/run/data" > /dev/null && fail "the sandbox is still running"
# The lines it prints reach the demo: run the rowlark-dedupe line while a demo runs.
reach=$(grep -E "^  (export|ROWLARK_PASSWORD)" <<< "$out")
[ "$(wc -l <<< "$reach")" -eq 2 ] || fail "no lines that reach the demo"
port=$(sed -n 's/^Demo server on 127.0.0.1:\([0-9]*\).*/\1/p' <<< "$out")
[ -n "$port" ] || fail "no port named"
# A second run reuses the demo data.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY ROWLARK_SKIP_BUILD=1 ROWLARK_BUILD_DIR="$build" ROWLARK_RUN_DIR="$work/run" \
      "$source_dir/run.sh" 2>&1) || fail "second run"
grep -q "holds 6 rows" <<< "$out" || fail "second summary"
"$source_dir/run.sh" --help | grep -q "^usage: ./run.sh" || fail "--help"
"$source_dir/run.sh" --bogus > /dev/null 2> "$work/err"
[ $? -eq 2 ] && grep -q "unknown option --bogus" "$work/err" || fail "an unknown option is not refused"
echo "run.sh: 1 passed, 0 failed"
