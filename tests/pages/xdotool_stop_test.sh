#!/usr/bin/env bash
# Closing the wizard while its job runs, as a user meets it: ./run.sh with its demo server, a real
# X server (Xvfb), real clicks and keys (xdotool), the window closed the way a window manager's
# close button closes it. The question comes on every close from the click on "Finish" on, however
# soon after it; Enter keeps the job going; "Yes" ends the program within 3 s while the server
# holds the job's copy, nothing is made, and ./run.sh stops its server and exits 0.
# Skipped (77) where Xvfb or xdotool is missing.
set -uo pipefail
source_dir=${1:?usage: xdotool_stop_test.sh SOURCE_DIR BUILD_DIR CLOSE_PROBE}
build=${2:?}
closer=${3:?}
command -v Xvfb > /dev/null && command -v xdotool > /dev/null || { echo "Xvfb or xdotool missing: skipped"; exit 77; }
work=$(mktemp -d)
cleanup() {
    [ -n "${runsh:-}" ] && kill "$runsh" 2> /dev/null
    [ -n "${app:-}" ] && kill "$app" 2> /dev/null
    "$source_dir/scripts/sandbox.sh" stop "$work/run" > /dev/null 2>&1
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    cat "$work"/run-*.out >&2 2> /dev/null
    exit 1
}
source "$(dirname "$0")/../support/x_display.sh"
start_xvfb 170 199 || fail "no display could be started"
now_ms() { echo $(($(date +%s%N) / 1000000)); }
demo_sql() {
    printf '%s\ngo\n' "$1" | FREETDSCONF=$work/run/freetds.conf tsql -H 127.0.0.1 -p "$port" -U sa \
        -P Demo-Pass-1 -D Demo 2>&1
}
# The visible window titled Rowlark that is not the finish page: the question.
question() {
    for _ in $(seq 100); do
        for w in $(xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null); do
            [ "$w" != "$finish" ] && { echo "$w"; return 0; }
        done
        sleep 0.1
    done
    return 1
}
alive() { kill -0 "$app" 2> /dev/null; }

checks=0
for moment in 0 0.15; do
    out=$work/run-$moment.out
    ROWLARK_SKIP_BUILD=1 ROWLARK_BUILD_DIR=$build ROWLARK_RUN_DIR=$work/run "$source_dir/run.sh" > "$out" 2>&1 &
    runsh=$!
    table=$(page 536x173) || fail "the table page did not open"
    port=$(sed -n 's/^Demo server on 127.0.0.1:\([0-9]*\).*/\1/p' "$out")
    app=$(pgrep -P "$runsh" -x rowlark)
    [ -n "$port" ] && [ -n "$app" ] || fail "no demo server or no wizard"
    xdotool mousemove --window "$table" 40 36 click 1           # Customers
    xdotool mousemove --window "$table" 400 153 click 1         # Next >
    fields=$(page 392x339) || fail "the field page did not open"
    xdotool mousemove --window "$fields" 30 167 click --repeat 2 --delay 100 1   # Name
    xdotool mousemove --window "$fields" 292 317 click 1        # Next >
    finish=$(page 536x268) || fail "the finish page did not open"
    demo_sql "SANDBOX FAULT DELAY 60000 ON 'INTO [#TEMP'" > /dev/null   # the server holds the copy
    # Finish, and the close right behind the click (in the same xdotool run) or a moment later.
    if [ "$moment" = 0 ]; then
        xdotool mousemove --window "$finish" 400 247 click 1 exec --sync "$closer" "$finish"
    else
        xdotool mousemove --window "$finish" 400 247 click 1 sleep "$moment" exec --sync "$closer" "$finish"
    fi
    asked=$(question) || fail "closed $moment s after Finish: no question"
    alive || fail "closed $moment s after Finish: the program ended"
    checks=$((checks + 1))
    # Enter: No, the job goes on.
    xdotool key --window "$asked" Return
    for _ in $(seq 50); do xdotool getwindowname "$asked" > /dev/null 2>&1 || break; sleep 0.1; done
    xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null | grep -qvx "$finish" && fail "Enter did not close the question"
    alive || fail "Enter on the question stopped the job"
    checks=$((checks + 1))
    # Closed again: Yes ends the program within 3 s, the server still holding the copy.
    "$closer" "$finish"
    asked=$(question) || fail "the second close asked nothing"
    started=$(now_ms)
    xdotool key --window "$asked" alt+y
    for _ in $(seq 100); do alive || break; sleep 0.05; done
    took=$(($(now_ms) - started))
    alive && fail "the program still runs 5 s after Yes"
    [ "$took" -le 3000 ] || fail "the program took $took ms to end after Yes"
    echo "closed $moment s after Finish: asked; Enter kept the job; Yes ended it in $took ms"
    app=""
    for _ in $(seq 100); do kill -0 "$runsh" 2> /dev/null || break; sleep 0.05; done
    kill -0 "$runsh" 2> /dev/null && fail "./run.sh still runs 5 s after the wizard ended"
    wait "$runsh"
    code=$?
    runsh=""
    [ "$code" -eq 0 ] || fail "./run.sh exited $code after the wizard ended normally"
    checks=$((checks + 1))
done
# Nothing was made, and the demo's table is as it was.
port=$(ROWLARK_SANDBOX_PASSWORD=Demo-Pass-1 "$source_dir/scripts/sandbox.sh" start "$work/run" "$build/sandbox/rowlark-sandbox")
made=$(demo_sql "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 'Customers2'")
grep -qx "0" <<< "$(grep -Eo '^[0-9]+$' <<< "$made")" || fail "a stopped job made Customers2: $made"
rows=$(demo_sql "SELECT count(*) FROM Customers" | grep -Eo '^[0-9]+$')
[ "$rows" = 10 ] || fail "Customers holds $rows rows"
echo "xdotool stop: $((checks + 1)) passed, 0 failed"
