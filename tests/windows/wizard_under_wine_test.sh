#!/usr/bin/env bash
# rowlark.exe under Wine on Xvfb, as a Windows user meets it: the connection page with every text
# fitting, the login typed in, the whole wizard driven by real clicks (xdotool) to a new table that
# is checked on the server, and the six settings in Wine's registry under the program's key. Then,
# with the stored login led through a proxy that stops passing the server's answers at the copy,
# the window closed during the job and "Yes" ends the program within seconds, nothing made.
set -uo pipefail
source "$(dirname "$0")/wine_support.sh"
# Pages are found by their size: Wine adds no frame where no window manager runs.
source "$(dirname "$0")/../support/x_display.sh"
probe=$1/tests/windows/page_fit_probe.exe
closer=${2:-}
command -v Xvfb > /dev/null && command -v xdotool > /dev/null || { echo "SKIPPED: Xvfb or xdotool missing"; exit 77; }
[ -f "$stage/rowlark.exe" ] || { echo "SKIPPED: no rowlark.exe in $stage"; exit 77; }
cleanup() {
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null
    finish
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/app.log" ] && tail -20 "$work/app.log" >&2
    exit 1
}

start_xvfb 130 160 || fail "no display could be started"
start_wine

# The connection page as Windows (here Wine) draws it, measured with the fonts it has. The probe
# runs from a copy of the programs' folder, where Qt finds its plugins as rowlark.exe does.
if [ -f "$probe" ]; then
    cp -r "$stage" "$work/probe" && cp "$probe" "$work/probe/"
    ROWLARK_SETTINGS_DIR=$work/probe-settings timeout 120 wine "$work/probe/page_fit_probe.exe" > "$work/fit.txt" 2>&1
    code=$?
    tr -d '\r' < "$work/fit.txt" | sed 's/^/  /'
    check "every text of the connection page fits" '[ $code -eq 0 ]'
fi

db="WineGui_$$"
sql "CREATE DATABASE [$db]" master > /dev/null
sql "CREATE TABLE [Städte] ([Name] nvarchar(20), [Land] nvarchar(20))
INSERT INTO [Städte] VALUES (N'Zürich', N'CH'), (N'東京', N'JP'), (N'Zürich', N'CH'), (N'Genève', N'CH')" "$db" > /dev/null

wine "$stage/rowlark.exe" > "$work/app.log" 2>&1 &
app=$!

# Input reaches the program in the order it is sent; where the next step needs what the program
# did with it, the test waits for that state: the page that opens, or the settings it stored.
click() { xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"; }
field() { click "$1" "$2" "$3"; xdotool key --clearmodifiers ctrl+a; xdotool type --delay 20 "$4"; }
key='HKCU\Software\VB and VBA Program Settings\Quenbrook\Rowlark'
# Waits until the program has stored NAME as VALUE (each field stores itself as it changes).
stored() {
    for _ in $(seq 60); do
        wine reg query "$key" /v "$1" 2> /dev/null | tr -d '\r' | grep -Eq "^ *$1 +REG_SZ +$2\$" && return 0
        sleep 0.2
    done
    return 1
}

login=$(page 536x264) || fail "the connection page did not open"
field "$login" 246 43 127.0.0.1             # Server
field "$login" 480 43 "$port"                # Port
field "$login" 296 75 sa                     # User
field "$login" 296 107 'Rowlark;Test{1'      # Password
field "$login" 296 139 "$db"                 # Database
stored MSDatabase "$db" || fail "the login typed in was not stored"
click "$login" 110 166                       # Local Connection, ticked
stored "Local Connection" 1 || fail "the tick was not stored"
click "$login" 110 166                       # and unticked: a server with a port
stored "Local Connection" 0 || fail "the untick was not stored"
# The filled-in page for the README, when asked for.
if [ -n "${ROWLARK_WINE_SCREENSHOT:-}" ]; then
    xdotool mousemove --window "$login" 600 300
    sleep 0.3
    import -window "$login" "$ROWLARK_WINE_SCREENSHOT" 2> /dev/null
fi
click "$login" 268 242                       # Next >
table=$(page 536x173) || fail "the table page did not open after the login"
click "$table" 40 36                         # the first (only) table
click "$table" 400 153                       # Next >
fields=$(page 392x339) || fail "the field page did not open"
xdotool mousemove --window "$fields" 30 167 click --repeat 2 --delay 100 1   # the first field
click "$fields" 292 317                      # Next >
finish=$(page 536x268) || fail "the finish page did not open"
click "$finish" 400 247                      # Finish
for _ in $(seq 150); do
    got=$(values "SELECT [Name] + N'|' + [Land] FROM [Städte2] ORDER BY [Name]" "$db" | tr -d ' ' | paste -sd ,)
    [ -n "$got" ] && [[ "$got" != *Invalid* ]] && break
    sleep 0.2
done
check "the new table holds the first of each, text intact ($got)" '[ "$got" = "Genève|CH,Zürich|CH,東京|JP" ]'
click_exit "$finish" 400 247 "$app"         # Exit
check "Exit ends the program" '! kill -0 "$app" 2> /dev/null'

wine reg query "$key" 2> /dev/null | tr -d '\r' > "$work/reg.txt"
sed 's/^/  /' "$work/reg.txt"
value() { awk -v k="$1" '$1 == k { print $NF }' "$work/reg.txt"; }
check "MSServer in the registry" '[ "$(value MSServer)" = 127.0.0.1 ]'
check "Port in the registry" '[ "$(value Port)" = "$port" ]'
check "MSUser in the registry" '[ "$(value MSUser)" = sa ]'
check "MSPassword in the registry" 'grep -q "MSPassword.*Rowlark;Test{1" "$work/reg.txt"'
check "MSDatabase in the registry" '[ "$(value MSDatabase)" = "$db" ]'
check "Local Connection in the registry" 'grep -Eq "^ *Local Connection +REG_SZ +0$" "$work/reg.txt"'

# The stored login through a proxy that goes silent at the copy: Windows cannot cut the driver's
# connection, so after "Yes" the program ends itself once the cancel's second has passed.
if [ -x "$closer" ]; then
    sql "DROP TABLE [Städte2]" "$db" > /dev/null
    python3 "$(dirname "$0")/../support/stalling_proxy.py" "$port" "$work/proxy.port" \
        --stall-on "INTO [#TEMP_TABLE" --log "$work/proxy.log" &
    proxy=$!
    for _ in $(seq 100); do [ -s "$work/proxy.port" ] && break; sleep 0.1; done
    wine reg add "$key" /v Port /d "$(cat "$work/proxy.port")" /f > /dev/null 2>&1
    wine "$stage/rowlark.exe" > "$work/app2.log" 2>&1 &
    app=$!
    table=$(page 536x173) || fail "the stored login did not open the table page"
    click "$table" 40 36
    click "$table" 400 153
    fields=$(page 392x339) || fail "the field page did not open"
    xdotool mousemove --window "$fields" 30 167 click --repeat 2 --delay 100 1
    click "$fields" 292 317
    finish=$(page 536x268) || fail "the finish page did not open"
    click "$finish" 400 247                  # Finish
    for _ in $(seq 300); do grep -q "^stalled" "$work/proxy.log" 2> /dev/null && break; sleep 0.1; done
    "$closer" "$finish"
    asked=
    for _ in $(seq 100); do
        for w in $(xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null); do
            [ "$w" != "$finish" ] && asked=$w
        done
        [ -n "$asked" ] && break
        sleep 0.1
    done
    # Yes by its key, again if a key was lost while the box was still being set up (the box
    # closes when it takes it); the seconds count from the press the box took.
    showing() { xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null | grep -qx "$asked"; }
    started=
    for _ in $(seq 10); do
        [ -n "$asked" ] || break
        pressed=$(date +%s%N)
        xdotool windowfocus "$asked" 2> /dev/null
        xdotool key --window "$asked" y
        for _ in $(seq 20); do showing || { started=$pressed; break 2; }; sleep 0.05; done
    done
    [ -n "$started" ] || started=$(date +%s%N)
    for _ in $(seq 200); do kill -0 "$app" 2> /dev/null || break; sleep 0.05; done
    took=$((($(date +%s%N) - started) / 1000000))
    kill -0 "$app" 2> /dev/null && kill -KILL "$app"
    kill "$proxy" 2> /dev/null
    got=$(values "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'Städte2'" "$db" | tr -d ' ')
    echo "a stalled job: asked ($asked), ended $took ms after Yes"
    check "a stalled job: the close asks, Yes ends the program within about 3 s ($took ms), nothing made" \
        'grep -q "^stalled" "$work/proxy.log" && [ -n "$asked" ] && [ "$took" -le 4000 ] && [ "$got" = 0 ]'
fi

echo "rowlark.exe under Wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
