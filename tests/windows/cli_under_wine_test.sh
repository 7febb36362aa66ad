#!/usr/bin/env bash
# rowlark-dedupe.exe under Wine against the sandbox: a job with names and values outside ASCII,
# a dry run, --json, a wrong password, key files past a small memory limit, a stop by Ctrl-C, and
# one Ctrl-C against a server that stopped answering; the server's tables checked afterwards.
set -uo pipefail
source "$(dirname "$0")/wine_support.sh"
trap finish EXIT
start_wine

db="Wine_$$"
sql "CREATE DATABASE [$db]" master > /dev/null
sql "CREATE TABLE [Kunden] ([Name] nvarchar(20), [Straße] nvarchar(20), [Ort] nvarchar(20))
INSERT INTO [Kunden] VALUES (N'Åsa', N'Hauptstraße 1', N'Zürich'), (N'Åsa', N'Hauptstraße 1', N'Genf'),
 (N'李', N'東京 1', N'東京'), (N'李', N'東京 1', N'大阪'), (N'Bo', N'Malmövägen', N'Malmö')" "$db" > /dev/null
run() {
    wine "$stage/rowlark-dedupe.exe" --server 127.0.0.1 --port "$port" --user sa --database "$db" "$@" \
        > "$work/out.txt" 2> "$work/err.txt" < /dev/null
}

run --table Kunden --column Name --column Straße --into Kunden_ohne_Doppelte; code=$?
check "a job: exit 0 and the summary" '[ $code -eq 0 ] && grep -q "removed 2 duplicates: \[Kunden_ohne_Doppelte\] holds 3 rows" "$work/out.txt"'
got=$(values "SELECT [Name] + N'|' + [Straße] + N'|' + [Ort] FROM [Kunden_ohne_Doppelte] ORDER BY [Ort]" "$db" | tr -d ' ' | paste -sd ,)
check "the new table holds the first of each, text intact ($got)" '[ "$got" = "Bo|Malmövägen|Malmö,Åsa|Hauptstraße1|Zürich,李|東京1|東京" ]'
got=$(values "SELECT COUNT(*) FROM [Kunden]" "$db" | tr -d ' ')
check "the source table is as it was ($got rows)" '[ "$got" = 5 ]'

run --table Kunden --column Name --into "Kunden_Übersicht_東京"; code=$?
got=$(values "SELECT COUNT(*) FROM [Kunden_Übersicht_東京]" "$db" | tr -d ' ')
check "a new name outside ASCII from the command line ($got rows)" '[ $code -eq 0 ] && [ "$got" = 3 ] && grep -q "\[Kunden_Übersicht_東京\] holds 3 rows" "$work/out.txt"'

run --table Kunden --column Name --dry-run; code=$?
check "dry run: exit 0, the counts" '[ $code -eq 0 ] && grep -q "5 rows, 2 duplicates" "$work/out.txt"'
got=$(values "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'Kunden2'" "$db" | tr -d ' ')
check "dry run: no table made" '[ "$got" = 0 ]'

run --table Kunden --column Name --into KundenJson --json; code=$?
check "--json: one object, made" '[ $code -eq 0 ] && python3 -c "import json; d=json.load(open(\"$work/out.txt\")); assert d[\"new_table_made\"] and d[\"new_table_rows\"]==3 and d[\"status\"]==0, d"'

ROWLARK_PASSWORD=wrong run --table Kunden --column Name --into KundenWrong; code=$?
check "a wrong password: exit 1, the server's words" '[ $code -eq 1 ] && grep -q "Login failed" "$work/err.txt"'
ROWLARK_PASSWORD=wrong run --table Kunden --column Name --into KundenWrong --json; code=$?
check "a wrong password as JSON" '[ $code -eq 1 ] && python3 -c "import json; d=json.load(open(\"$work/out.txt\")); assert d[\"status\"]==1, d"'

run --table Kunden --column Name --into Kunden --replace; code=$?
check "the source name is refused" '[ $code -eq 2 ] && grep -q "never changed" "$work/err.txt"'

# In a console (a pseudo-terminal here): the password is asked for without echo, and names outside
# ASCII reach the console as the characters they are.
if command -v script > /dev/null; then
    mkfifo "$work/keys"
    ROWLARK_PASSWORD= LANG=C.UTF-8 timeout 60 script -qfec "env -u ROWLARK_PASSWORD wine '$stage/rowlark-dedupe.exe' \
        --server 127.0.0.1 --port $port --user sa --database $db --table Kunden --column Name --dry-run" \
        /dev/null < "$work/keys" > "$work/console.txt" 2>&1 &
    console=$!
    exec 3> "$work/keys"
    for _ in $(seq 300); do grep -q "Password for sa" "$work/console.txt" 2> /dev/null && break; sleep 0.1; done
    printf '%s\r' "$ROWLARK_PASSWORD" >&3
    wait $console; code=$?
    exec 3>&-
    sed 's/\x1b\[[?0-9;]*[a-zA-Z]//g' "$work/console.txt" > "$work/console-text.txt"
    check "the prompt: no echo, the login works, text outside ASCII shown as typed (status $code)" \
        '[ $code -eq 0 ] && grep -q "Password for sa" "$work/console-text.txt" && ! grep -q "Test{1" "$work/console-text.txt" && grep -q "Åsa" "$work/console-text.txt" && grep -q "李" "$work/console-text.txt"'
fi

# Where only the newer driver is registered: "SQL Server" is not found, and ROWLARK_ODBC_DRIVER
# names the other one.
mkdir -p "$work/newer"
sed 's/^\[SQL Server\]$/[ODBC Driver 18 for SQL Server]/' "$dir/odbcinst.ini" > "$work/newer/odbcinst.ini"
: > "$work/newer/odbc.ini"
ODBCSYSINI=$work/newer ODBCINI=$work/newer/odbc.ini run --table Kunden --column Name --dry-run; code=$?
check "no \"SQL Server\" driver: exit 1, the driver manager's words" '[ $code -eq 1 ] && grep -qi "not found\|IM002" "$work/err.txt"'
ODBCSYSINI=$work/newer ODBCINI=$work/newer/odbc.ini ROWLARK_ODBC_DRIVER="ODBC Driver 18 for SQL Server" \
    run --table Kunden --column Name --into KundenNewerDriver; code=$?
got=$(values "SELECT COUNT(*) FROM [KundenNewerDriver]" "$db" | tr -d ' ')
check "ROWLARK_ODBC_DRIVER names the driver ($got rows)" '[ $code -eq 0 ] && [ "$got" = 3 ]'

# Ctrl-C while the server holds the copy: Wine passes SIGINT on as the console's Ctrl-C event; the
# job cancels, drops its work table, and ends with Linux's status for SIGINT.
sql "SANDBOX FAULT DELAY 4000 ON 'INTO [#TEMP_TABLE_CREATED_BY_ORVANDEL'" "$db" > /dev/null
rm -f "$work/err.txt" # what an earlier run printed must not pass for this one's progress
wine "$stage/rowlark-dedupe.exe" --server 127.0.0.1 --port "$port" --user sa --database "$db" \
    --table Kunden --column Name --into KundenStopped > "$work/out.txt" 2> "$work/err.txt" < /dev/null &
runner=$!
for _ in $(seq 100); do grep -q "copying\|creating the new table" "$work/err.txt" 2> /dev/null && break; sleep 0.1; done
t0=$(date +%s)
kill -INT $runner
wait $runner; code=$?
took=$(($(date +%s) - t0))
sql "SANDBOX FAULT CLEAR" "$db" > /dev/null
got=$(values "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'KundenStopped'" "$db" | tr -d ' ')
check "Ctrl-C: status 130 within seconds, no table (status $code, $took s, tables $got)" '[ $code -eq 130 ] && [ $took -le 8 ] && [ "$got" = 0 ] && grep -q "stopped by Ctrl-C" "$work/err.txt"'

# Past a memory limit of 1K the keys go to files in the folder given (a Windows path), each
# deleted by the system when closed: the job's result is the same and the folder is empty after.
mkdir -p "$work/keyfiles"
run --table Kunden --column Name --column Straße --into KundenSpilled --memory-limit 1K \
    --spill-dir "Z:$work/keyfiles"; code=$?
got=$(values "SELECT COUNT(*) FROM [KundenSpilled]" "$db" | tr -d ' ')
check "key files past --memory-limit 1K: the same rows, the note, nothing left ($code, $got rows)" \
    '[ $code -eq 0 ] && [ "$got" = 3 ] && grep -q "The keys did not fit" "$work/err.txt" && [ -z "$(ls -A "$work/keyfiles")" ]'
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -iname temp | head -1)
run --table Kunden --column Name --into KundenSpilledTemp --memory-limit 1K; code=$?
check "without --spill-dir they go to the user's temporary folder and are gone after ($code, $temp)" \
    '[ $code -eq 0 ] && [ -n "$temp" ] && [ -z "$(ls "$temp" | grep rowlark-keys)" ]'
run --table Kunden --column Name --into KundenNoFolder --memory-limit 1K --spill-dir "Z:$work/none"; code=$?
check "a key folder that does not exist: status 1, the folder named" \
    '[ $code -eq 1 ] && grep -q "temporary file for the keys in Z:$work/none" "$work/err.txt"'

# A server that goes silent in the middle of the job (a proxy that stops passing its answers, the
# cancel's too): Windows cannot cut the driver's connection, so one Ctrl-C ends the run itself
# once the cancel's two seconds are over, with Linux's last line, JSON object and status.
python3 "$(dirname "$0")/../support/stalling_proxy.py" "$port" "$work/proxy.port" \
    --stall-on "INTO [#TEMP_TABLE" --log "$work/proxy.log" &
proxy=$!
for _ in $(seq 100); do [ -s "$work/proxy.port" ] && break; sleep 0.1; done
wine "$stage/rowlark-dedupe.exe" --server 127.0.0.1 --port "$(cat "$work/proxy.port")" --user sa \
    --database "$db" --table Kunden --column Name --into KundenStalled --json \
    > "$work/out.txt" 2> "$work/err.txt" < /dev/null &
runner=$!
for _ in $(seq 600); do grep -q "^stalled" "$work/proxy.log" 2> /dev/null && break; sleep 0.1; done
t0=$(date +%s%N)
kill -INT $runner
for _ in $(seq 300); do kill -0 $runner 2> /dev/null || break; sleep 0.1; done
took=$((($(date +%s%N) - t0) / 1000000))
kill -0 $runner 2> /dev/null && kill -KILL $runner
wait $runner; code=$?
kill $proxy 2> /dev/null; wait $proxy 2> /dev/null
echo "one Ctrl-C against a stalled server: status $code after $took ms"
got=$(values "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'KundenStalled'" "$db" | tr -d ' ')
check "one Ctrl-C ends a stalled run: status 130 in $took ms, one object, no table" \
    'grep -q "^stalled" "$work/proxy.log" && [ $code -eq 130 ] && [ $took -le 6000 ] && [ "$got" = 0 ] && grep -q "stopped by Ctrl-C" "$work/err.txt" && python3 -c "import json; d=json.load(open(\"$work/out.txt\")); assert d[\"outcome\"]==\"stopped\" and d[\"status\"]==130 and not d[\"new_table_made\"], d"'

[ "$failed" -gt 0 ] && [ -f "$work/console-text.txt" ] && cat -A "$work/console-text.txt" | head -20
echo "rowlark-dedupe.exe under Wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
