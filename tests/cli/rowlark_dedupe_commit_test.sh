#!/usr/bin/env bash
# rowlark-dedupe around the commit: an answer lost on the way is told as what the server holds,
# and however many signals come, the run ends with one last line and, with --json, one object.
set -uo pipefail
bin=${1:?usage: rowlark_dedupe_commit_test.sh ROWLARK_DEDUPE}
here=$(cd "$(dirname "$0")" && pwd)
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
port=$(cat "$dir/port")
work=$(mktemp -d)
export ROWLARK_SETTINGS_DIR=$work
proxy=
trap '[ -n "$proxy" ] && kill $proxy 2> /dev/null; rm -rf "$work"' EXIT
export ROWLARK_PASSWORD='Rowlark;Test{1'
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1" >&2; sed 's/^/  err: /' err.txt >&2; sed 's/^/  out: /' out.txt >&2; fi; }
db="Commit_$$"
cd "$work"
# The rows of a query, one value a line, without the column's name.
sql() { printf '%s\ngo\n' "$1" | LANG= LC_ALL= tsql -o q -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D "$db" 2> /dev/null | tail -n +2; }
json() { python3 -c "import json,sys; d=json.loads(open('out.txt').read()); assert $1, d" 2>&1 >&2; }
printf 'CREATE DATABASE [%s]\ngo\n' "$db" | tsql -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D master > /dev/null 2>&1
sql "CREATE TABLE Src (v nvarchar(5), k nvarchar(5))
INSERT INTO Src VALUES (N'a', N'x'), (N'b', N'y'), (N'c', N'x'), (N'd', N'z'), (N'e', N'y')" > /dev/null
old() { sql "IF object_id(N'$1') IS NOT NULL DROP TABLE [$1]
CREATE TABLE [$1] (old int)
INSERT INTO [$1] VALUES (7)" > /dev/null; }

start_proxy() {
    [ -n "$proxy" ] && kill $proxy 2> /dev/null
    rm -f proxy.port
    python3 "$here/../support/stalling_proxy.py" "$port" proxy.port "$@" &
    proxy=$!
    for _ in $(seq 100); do [ -s proxy.port ] && break; sleep 0.05; done
}
via_proxy() { "$bin" --server 127.0.0.1 --port "$(cat proxy.port)" --user sa --database "$db" "$@" > out.txt 2> err.txt < /dev/null; }

# The server commits and the answer is thrown away with the connection: the run asks again and
# says made, status 0, in every way the new table can be made.
for way in "plain:" "removed:--removed-into Gone" "server:--on-server --removed-into Gone"; do
    name=${way%%:*} options=${way#*:}
    old Old; sql "IF object_id(N'Gone') IS NOT NULL DROP TABLE Gone" > /dev/null
    start_proxy --cut-commit answer
    via_proxy --table Src --column k --into Old --replace $options --json; code=$?
    check "a lost answer to the commit ($name): made" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"made\" and d[\"new_table_rows\"]==3 and d[\"failed_steps\"]==[] and any(\"answer to the commit was lost\" in n for n in d[\"notices\"])"'
    check "and the server holds it ($name)" '[ "$(sql "SELECT v FROM Old ORDER BY v" | tr -d " \n")" = abd ]'
done
# The commit never reaches the server: not made, the old table as it was.
old Old
start_proxy --cut-commit request
via_proxy --table Src --column k --into Old --replace --json; code=$?
check "a commit the server never saw: not made" '[ $code -eq 1 ] && json "d[\"outcome\"]==\"not_made\" and \"found nothing made\" in d[\"failed_steps\"][0][\"text\"]"'
check "and the old table stays" '[ "$(sql "SELECT old FROM Old" | tr -d " \n")" = 7 ]'

# The answer is held back on an open connection; one SIGINT cuts it and the run asks again: the
# table was made, so status 0.
old Old
start_proxy --cut-commit hold --log proxy.log
"$bin" --server 127.0.0.1 --port "$(cat proxy.port)" --user sa --database "$db" --table Src \
    --column k --into Old --replace --json > out.txt 2> err.txt < /dev/null &
pid=$!
for _ in $(seq 200); do grep -q "cut the commit" proxy.log 2> /dev/null && break; sleep 0.05; done
kill -INT $pid
wait $pid; code=$?
check "SIGINT while the commit's answer is held: made, status 0" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"made\" and d[\"signal\"]==\"SIGINT\""'
# Each signal is told as it comes; the next one is sent once it was.
told() { for _ in $(seq 200); do [ "$(grep -c "$1" err.txt)" -ge "${2:-1}" ] && return; sleep 0.05; done; }
# Three SIGINTs there: the later ones cut the asking short; the run says it cannot tell, with the
# statement that shows it, and still prints its one object.
old Old; rm -f proxy.log
start_proxy --cut-commit hold --log proxy.log
"$bin" --server 127.0.0.1 --port "$(cat proxy.port)" --user sa --database "$db" --table Src \
    --column k --into Old --replace --json > out.txt 2> err.txt < /dev/null &
pid=$!
for _ in $(seq 200); do grep -q "cut the commit" proxy.log 2> /dev/null && break; sleep 0.05; done
kill -INT $pid; told "SIGINT: stopping"
kill -INT $pid; told "SIGINT again"
kill -INT $pid; told "SIGINT again" 2
wait $pid; code=$?
check "more SIGINTs while the answer is held: unknown, one object" '[ $code -eq 130 ] && json "d[\"outcome\"]==\"unknown\" and \"create_date\" in d[\"message\"]" && [ $(grep -c "^rowlark-dedupe: .*not learn" err.txt) -eq 1 ]'
kill $proxy; proxy=

# A server that takes the statement and never answers, not even the cancel: the first signal
# waits two seconds for the server; the second cuts at once, and the run still reports.
stalled_run() {
    local text=$1
    shift
    rm -f proxy.log
    start_proxy --stall-on "$text" --log proxy.log
    "$bin" --server 127.0.0.1 --port "$(cat proxy.port)" --user sa --database "$db" "$@" \
        > out.txt 2> err.txt < /dev/null &
    pid=$!
    for _ in $(seq 200); do grep -q "stalled login" proxy.log 2> /dev/null && break; sleep 0.05; done
}
# After the commit, while the work table's drop goes unanswered: made, status 0, the summary.
stalled_run "DROP TABLE [#TEMP" --table Src --column k --into AfterCommit --json
kill -INT $pid; told "SIGINT: stopping"
kill -INT $pid
wait $pid; code=$?
check "two SIGINTs after the commit: made, status 0, one object" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"made\" and d[\"new_table_rows\"]==3 and d[\"signal\"]==\"SIGINT\"" && grep -q "SIGINT again" err.txt'
stalled_run "DROP TABLE [#TEMP" --table Src --column k --into AfterCommit2
kill -INT $pid; told "SIGINT: stopping"
kill -TERM $pid
wait $pid; code=$?
check "and without JSON the summary line" '[ $code -eq 0 ] && grep -q "^Read 5 rows, removed 2 duplicates: \[AfterCommit2\] holds 3 rows. (SIGINT came after" out.txt && grep -q "SIGTERM again" err.txt'
# While the server makes the work copy: stopped, 130, one object, nothing made.
stalled_run "INTO [#TEMP_TABLE" --table Src --column k --into DuringCopy --json
kill -INT $pid; told "SIGINT: stopping"
kill -INT $pid
wait $pid; code=$?
check "two SIGINTs during the copy: stopped, 130, one object" '[ $code -eq 130 ] && json "d[\"outcome\"]==\"stopped\" and d[\"status\"]==130 and not d[\"new_table_made\"]" && grep -q "SIGINT again" err.txt'
kill $proxy; proxy=
check "and nothing was made" '[ "$(sql "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'"'"'DuringCopy'"'"'")" = 0 ]'

echo "rowlark-dedupe around the commit: $passed passed, $failed failed"
[ $failed -eq 0 ]
