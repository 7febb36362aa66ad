#!/usr/bin/env bash
# The wizard as a user drives it: a real X server (Xvfb), real mouse moves and clicks (xdotool),
# from the stored login to the new table, and "Exit": the pointer the server shows over a button
# and over the background, and clicks held back while the page waits. Skipped (77) where Xvfb or xdotool is missing.
set -uo pipefail
rowlark=${1:?usage: xdotool_flow_test.sh ROWLARK CURSOR_PROBE}
probe=${2:?}
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
command -v Xvfb > /dev/null && command -v xdotool > /dev/null || { echo "Xvfb or xdotool missing: skipped"; exit 77; }
port=$(cat "$dir/port")
work=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2> /dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/app.log" ] && cat "$work/app.log" >&2
    exit 1
}

source "$(dirname "$0")/../support/x_display.sh"
start_xvfb 90 120 || fail "no display could be started"

db="Gui_$$"
sql() { printf '%s\ngo\n' "$1" | tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D "$2" > /dev/null 2>&1; }
sql "CREATE DATABASE [$db]" master
sql "CREATE TABLE Dup (k int, v nvarchar(5)) INSERT INTO Dup VALUES (1, N'a'), (1, N'b'), (2, N'c'), (1, N'd')" "$db"

mkdir -p "$work/settings"
export ROWLARK_SETTINGS_DIR=$work/settings ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini
cat > "$work/settings/Quenbrook.ini" << INI
[Rowlark]
MSServer=127.0.0.1
Port=$port
MSUser=sa
MSPassword="Rowlark;Test{1"
MSDatabase=$db
INI
"$rowlark" > "$work/app.log" 2>&1 &
app=$!

# Input reaches the program in the order it is sent; where the next step needs what the program
# did with it, the test waits for that state (a page that opens, a pointer that changes).
click() { xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"; }

table=$(page 536x173) || fail "the table page did not open on the stored login"
# The pointer as the X server shows it: the hand over a push button, the arrow over the list.
# pointer X Y [differs|equals REFERENCE]: the shape once it differs from (or equals) the reference,
# or after five seconds.
pointer() {
    xdotool mousemove --window "$table" "$1" "$2"
    local now
    for _ in $(seq 50); do
        now=$("$probe")
        case ${3:-} in
        differs) [ "$now" != "$4" ] && break ;;
        equals) [ "$now" = "$4" ] && break ;;
        *) break ;;
        esac
        sleep 0.1
    done
    echo "$now"
}
over_list=$(pointer 100 60)
over_button=$(pointer 400 153 differs "$over_list")
again_list=$(pointer 120 70 equals "$over_list")
[ -n "$over_list" ] && [ "$over_button" != "$over_list" ] || fail "no hand over Next > ($over_button, $over_list)"
[ "$again_list" = "$over_list" ] || fail "the arrow did not come back over the list ($again_list)"
checks=2
click "$table" 40 36                 # the first table
# Every answer late: while Next > waits for the server, a click on < Back is held back.
sql "SANDBOX FAULT DELAY 1500" "$db"
xdotool mousemove --window "$table" 400 153 click 1
# The click on < Back goes in once the page shows it is waiting (the busy pointer): on a loaded
# machine a fixed pause could end before Next > has even started.
for _ in $(seq 100); do
    [ "$("$probe")" != "$over_button" ] && break
    sleep 0.1
done
xdotool mousemove --window "$table" 136 153 click 1
visible_login() { for w in $(xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null); do
    xdotool getwindowgeometry "$w" | grep -q "Geometry: 536x264" && return 0; done; return 1; }
fields=$(page 392x339) || fail "the field page did not open"
sql "SANDBOX FAULT CLEAR" "$db"
visible_login && fail "< Back ran inside Next >'s wait: the connection page is showing"
checks=$((checks + 1))
xdotool mousemove --window "$fields" 30 167 click --repeat 2 --delay 100 1   # double-click the first field
click "$fields" 292 317              # Next >
finish=$(page 536x268) || fail "the finish page did not open"
click "$finish" 400 247              # Finish
for _ in $(seq 150); do
    out=$(printf 'SELECT count(*) FROM Dup2\ngo\n' | tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D "$db" 2>&1)
    grep -q "^2$" <<< "$out" && break
    sleep 0.2
done
grep -q "^2$" <<< "$out" || fail "the new table is not there: $out"
click_exit "$finish" 400 247 "$app" || fail "Exit did not end the program"
app=""
echo "xdotool flow: $((checks + 1)) passed, 0 failed"
