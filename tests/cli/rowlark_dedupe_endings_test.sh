#!/usr/bin/env bash
# How rowlark-dedupe ends: one JSON object on every exit with --json, usage errors told apart from
# refused names, one signal ending every wait within seconds (at the prompt, in a stalled login,
# before an unanswered first request), and a signal after the commit told as what it is.
set -uo pipefail
bin=${1:?usage: rowlark_dedupe_endings_test.sh ROWLARK_DEDUPE}
here=$(cd "$(dirname "$0")" && pwd)
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
port=$(cat "$dir/port")
work=$(mktemp -d)
export ROWLARK_SETTINGS_DIR=$work
proxy=
trap '[ -n "$proxy" ] && kill $proxy 2> /dev/null; rm -rf "$work"' EXIT
export ROWLARK_PASSWORD='Rowlark;Test{1'
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1" >&2; sed 's/^/  err: /' err.txt >&2; fi; }
db="Endings_$$"
cd "$work"
run() { "$bin" --server 127.0.0.1 --port "$port" --user sa --database "$db" "$@" > out.txt 2> err.txt < /dev/null; }
sql() { printf '%s\ngo\n' "$1" | LANG= LC_ALL= tsql -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D "$2" > /dev/null 2>&1; }
# The one JSON object of out.txt, checked by a Python expression over d.
json() { python3 -c "import json,sys; d=json.loads(open('out.txt').read()); assert $1, d" 2>&1 >&2; }
sql "CREATE DATABASE [$db]" master
sql "CREATE TABLE Customers (Name nvarchar(20), City nvarchar(20))
INSERT INTO Customers VALUES (N'Ann', N'Bern'), (N'Bo', N'Oslo'), (N'Ann', N'Bern'), (N'Cy', NULL)
CREATE TABLE [Ü] ([Straße] nvarchar(10), [Ü] int)
INSERT INTO [Ü] VALUES (N'a', 1), (N'a', 1), (N'b', 2)" "$db"

# Bad ports and a column named twice are usage errors, with the hint; refused names have none.
for bad in "--port abc" "--port 99999" "--port=" "--port 0"; do
    run $bad --table Customers --column Name; code=$?
    check "$bad is a usage error" '[ $code -eq 2 ] && grep -q "takes a TCP port" err.txt && grep -q "^Try" err.txt'
done
run --table Customers --column Name --column Name; code=$?
check "a column given twice" '[ $code -eq 2 ] && grep -q "given twice" err.txt && grep -q "^Try" err.txt'
run --table Customers --column Name --column name; code=$?
check "a column named twice in another case" '[ $code -eq 2 ] && grep -q "a second time" err.txt'
run --table Customers --column Nope; code=$?
check "no such column: refused, without the hint" '[ $code -eq 2 ] && grep -q "has no column Nope" err.txt && ! grep -q "^Try" err.txt'

# With --json every ending prints exactly one object with status, outcome and message.
run --table Customers --colum Name --json; code=$?
check "usage error as JSON" '[ $code -eq 2 ] && json "d[\"status\"]==2 and d[\"outcome\"]==\"usage\" and \"unknown option\" in d[\"message\"]"'
run --table Nope --column Name --json; code=$?
check "a refused name as JSON" '[ $code -eq 2 ] && json "d[\"outcome\"]==\"refused\" and \"Nope\" in d[\"message\"]"'
ROWLARK_PASSWORD=wrong run --table Customers --column Name --json; code=$?
check "a failed login as JSON" '[ $code -eq 1 ] && json "d[\"outcome\"]==\"failed\" and \"Login failed\" in d[\"message\"]"'
run --table Customers --column Name --into Made --json; code=$?
check "a made table as JSON" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"made\" and d[\"new_table_rows\"]==3 and d[\"status\"]==0"'
run --table Made --column Name --json; code=$?
check "no duplicates as JSON" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"no_duplicates\""'
run --table Customers --column Name --dry-run --json; code=$?
check "a dry run as JSON" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"dry_run\" and d[\"duplicates\"]==1"'

# A memory limit is a positive size a machine may have; --json=VALUE is refused as JSON too; help
# and version have outcomes of their own, which the manual page lists.
for bad in "-1" "0" "+5M" "99999G" "1T"; do
    run --table Customers --column Name --memory-limit "$bad" --json; code=$?
    check "--memory-limit $bad is a usage error" '[ $code -eq 2 ] && json "d[\"outcome\"]==\"usage\" and \"--memory-limit\" in d[\"message\"]"'
done
run --table Customers --column Name --json=yes; code=$?
check "--json=yes: a usage error, as JSON" '[ $code -eq 2 ] && json "d[\"outcome\"]==\"usage\" and \"takes no value\" in d[\"message\"]"'
for what in help version; do
    "$bin" --$what --json > out.txt 2> err.txt; code=$?
    check "--$what --json, documented" '[ $code -eq 0 ] && json "d[\"outcome\"]==\"$what\"" && sed "s/\\\\f[BIR]//g" "$here/../../docs/man/rowlark-dedupe.1" | grep "dry_run, help or version" > /dev/null'
done

# A connection that fails says where it tried and where that came from, then the driver's words.
run_at() { "$bin" --user sa --database "$db" "$@" > out.txt 2> err.txt < /dev/null; }
run_at --server 127.0.0.1 --port 1 --table Customers --column Name; code=$?
check "a refused connection names the server and port given" '[ $code -eq 1 ] && grep -q "^rowlark-dedupe: could not connect to 127.0.0.1, port 1 (as given on the command line): \[FreeTDS\]" err.txt && [ "$(sort err.txt | uniq -d)" = "" ]'
printf '[Rowlark]\nMSServer=127.0.0.1\nPort=1\nMSUser=sa\nMSDatabase=%s\n' "$db" > Quenbrook.ini
run_at --table Customers --column Name; code=$?
check "... or those of the stored login" '[ $code -eq 1 ] && grep -q "could not connect to 127.0.0.1, port 1 (from the login the wizard stored)" err.txt'
run_at --port "$port" --server localhost --local --table Customers --column Name; code=$?
check "... or the local instance" '[ $code -eq 1 ] && grep -q "could not connect to the local instance localhost (as given on the command line)" err.txt'
rm Quenbrook.ini

# Counts as people read them; a refused name with no "done" line above it.
sql "CREATE TABLE Many (k int)
INSERT INTO Many VALUES $(seq 0 599 | awk '{ print "(" $1 ")" }' | paste -sd,)
INSERT INTO Many VALUES $(seq 600 1199 | awk '{ print "(" $1 % 1000 ")" }' | paste -sd,)" "$db"
LANG= LC_ALL= run --table Many --column k --into Many2; code=$?
check "thousands separators" '[ $code -eq 0 ] && grep -qx "Read 1,200 rows, removed 200 duplicates: \[Many2\] holds 1,000 rows." out.txt && grep -q "^done: 1,200 rows read, 200 duplicates, 200 deleted" err.txt'
run --table Many --column k --into Many2; code=$?
check "a refused name: no done line before it" '[ $code -eq 2 ] && ! grep -q "done" err.txt && grep -q "already exists" err.txt'

# Names outside ASCII, typed on the command line, whatever the locale.
LANG= LC_ALL= run --table Ü --column Straße --column Ü --into Ü2; code=$?
check "a table named Ü" '[ $code -eq 0 ] && grep -q "holds 2 rows" out.txt'

# --dry-run keeps to --memory-limit: past it the keys go to files where --spill-dir says.
run --table Customers --column Name --dry-run --memory-limit 100 --spill-dir "$work/none"; code=$?
check "the dry run spills where it is told" '[ $code -eq 1 ] && grep -q "temporary file for the keys in $work/none" err.txt'
mkdir spill
run --table Customers --column Name --column City --dry-run --memory-limit 100 --spill-dir spill; code=$?
check "and counts the same" '[ $code -eq 0 ] && grep -q "4 rows, 1 duplicate, 3 distinct keys" out.txt && [ -z "$(ls -A spill)" ]'
run --table Customers --column Name --into Spilled2 --memory-limit 1K --spill-dir spill; code=$?
check "a run that spills points at --on-server" '[ $code -eq 0 ] && grep -q "note: The keys did not fit.*--on-server" err.txt && [ -z "$(ls -A spill)" ]'
TMPDIR=$work/none run --table Customers --column Name --into Spilled --memory-limit 1K; code=$?
check "the job's key files go under TMPDIR" '[ $code -eq 1 ] && grep -q "in $work/none" err.txt'

# A stalling server: a proxy passes messages to the sandbox, then goes silent at a chosen point.
start_proxy() {
    [ -n "$proxy" ] && kill $proxy 2> /dev/null
    rm -f proxy.port
    rm -f proxy.log
    python3 "$here/../support/stalling_proxy.py" "$port" proxy.port --stall "$1" --log proxy.log &
    proxy=$!
    for _ in $(seq 50); do [ -s proxy.port ] && break; sleep 0.1; done
}
# Runs through the proxy, sends the signal once the proxy has gone silent, and gives the status
# and the milliseconds from the signal to the end.
signalled() {
    local sig=$1
    shift
    "$bin" --server 127.0.0.1 --port "$(cat proxy.port)" --user sa --database "$db" "$@" \
        > out.txt 2> err.txt < /dev/null &
    local pid=$!
    for _ in $(seq 400); do grep -q "^stalled" proxy.log 2> /dev/null && break; sleep 0.05; done
    local started=$(date +%s%N)
    kill -"$sig" $pid
    wait $pid
    code=$?
    took=$(( ($(date +%s%N) - started) / 1000000 ))
}
# Login 1 is the name look-up; login 2 is the job's own. Message 1 is the pre-login.
for case in "2:1 the job's login" "2:2 the job's first request" "1:2 the name look-up"; do
    start_proxy "${case%% *}"
    signalled INT --table Customers --column Name --into Stalled --json
    check "one SIGINT ends a stall in ${case#* } within seconds ($took ms)" 'grep -q "^stalled" proxy.log && [ $code -eq 130 ] && [ $took -lt 4500 ] && json "d[\"outcome\"]==\"stopped\" and d[\"status\"]==130"'
done
kill $proxy; proxy=
check "nothing was made by the stopped runs" '! run --table Stalled --column Name --dry-run && grep -q "no table named Stalled" err.txt'

# On a terminal, while the server works on a statement (here: a copy it never answers), the
# progress line counts the seconds.
start_proxy_on() {
    [ -n "$proxy" ] && kill $proxy 2> /dev/null
    rm -f proxy.port
    python3 "$here/../support/stalling_proxy.py" "$port" proxy.port --stall-on "$1" &
    proxy=$!
    for _ in $(seq 50); do [ -s proxy.port ] && break; sleep 0.1; done
}
start_proxy_on "INTO [#TEMP_TABLE"
python3 - "$bin" "$(cat proxy.port)" "$db" << 'PY'
import os, pty, re, signal, sys, time
bin, port, db = sys.argv[1:4]
pid, fd = pty.fork()
if pid == 0:
    os.execv(bin, [bin, "--server", "127.0.0.1", "--port", port, "--user", "sa", "--database", db,
                   "--table", "Customers", "--column", "Name", "--into", "Counting"])
seen = b""
deadline = time.time() + 20
while not re.search(rb"copying the table: [^\r\n]*, ([2-9]|[1-9][0-9]+) s", seen) and time.time() < deadline:
    try:
        seen += os.read(fd, 1024)
    except OSError:
        break
os.kill(pid, signal.SIGINT)
os.waitpid(pid, 0)
found = re.search(rb"copying the table: [^\r\n]*, ([2-9]|[1-9][0-9]+) s", seen)
print("progress line:", found.group(0).decode() if found else seen[-200:])
sys.exit(0 if found else 1)
PY
code=$?
check "the progress line counts the seconds of a statement" '[ $code -eq 0 ]'
kill $proxy; proxy=

# A SIGKILL while the key files are open leaves nothing in their folder.
sql "CREATE TABLE Big (k int, pad nvarchar(20))
INSERT INTO Big VALUES (1, N'x')" "$db"
for _ in $(seq 17); do sql "INSERT INTO Big SELECT k, pad FROM Big" "$db"; done
mkdir keys
"$bin" --server 127.0.0.1 --port "$port" --user sa --database "$db" --table Big --column k \
    --column pad --into Big2 --memory-limit 1K --spill-dir "$work/keys" > out.txt 2> err.txt < /dev/null &
pid=$!
killed=
for _ in $(seq 3000); do
    # grep reads it all: with pipefail, an early exit would fail ls with SIGPIPE.
    if ls -l /proc/$pid/fd 2> /dev/null | grep -- "-> $work/keys/" > /dev/null; then
        kill -KILL $pid
        killed=1
        break
    fi
    kill -0 $pid 2> /dev/null || break
    sleep 0.01
done
wait $pid 2> /dev/null
check "a SIGKILL while the key files are open leaves nothing behind" '[ -n "$killed" ] && [ -z "$(ls -A keys)" ]'

# A signal after the commit: the new table stays, and the run says so.
sql "SANDBOX FAULT DELAY 4000 ON 'DROP TABLE [#TEMP'" "$db"
"$bin" --server 127.0.0.1 --port "$port" --user sa --database "$db" --table Customers --column Name \
    --into AfterCommit --json > out.txt 2> err.txt < /dev/null &
pid=$!
# Once the new table is there the commit is done, and the work table's drop is held.
committed() {
    printf "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'AfterCommit'\ngo\n" |
        LANG= LC_ALL= tsql -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D "$db" 2> /dev/null |
        grep -x "[[:space:]]*1" > /dev/null
}
seen=
for _ in $(seq 200); do committed && seen=1 && break; sleep 0.05; done
kill -INT $pid
wait $pid; code=$?
sql "SANDBOX FAULT CLEAR" "$db"
check "SIGINT after the commit: made, told so" '[ -n "$seen" ] && [ $code -eq 0 ] && json "d[\"outcome\"]==\"made\" and d[\"signal\"]==\"SIGINT\" and d[\"failed_steps\"]==[] and \"kept\" in d[\"message\"]" && ! grep -q "steps failed" err.txt'
run --table AfterCommit --column Name --dry-run; code=$?
check "and the table is there" '[ $code -eq 0 ] && grep -q "3 rows, 0 duplicates" out.txt'

# Ctrl-C at the password prompt: status 130, the terminal's echo back on.
python3 - "$bin" "$port" "$db" << 'PY'
import os, pty, sys, termios, time
bin, port, db = sys.argv[1:4]
env = dict(os.environ)
env.pop("ROWLARK_PASSWORD", None)
pid, fd = pty.fork()
if pid == 0:
    os.execve(bin, [bin, "--server", "127.0.0.1", "--port", port, "--user", "someone", "--database", db,
                    "--table", "Customers", "--column", "Name"], env)
seen = b""
deadline = time.time() + 10
while b"Password for" not in seen and time.time() < deadline:
    seen += os.read(fd, 1024)
# The prompt shows once the echo is off: the terminal says so before the key goes.
while termios.tcgetattr(fd)[3] & termios.ECHO and time.time() < deadline:
    time.sleep(0.01)
os.write(fd, b"\x03")
_, status = os.waitpid(pid, 0)
echo = termios.tcgetattr(fd)[3] & termios.ECHO
ok = os.WIFEXITED(status) and os.WEXITSTATUS(status) == 130 and echo
print("prompt: status", status >> 8, "echo", bool(echo))
sys.exit(0 if ok else 1)
PY
code=$?
check "Ctrl-C at the password prompt restores the echo and exits 130" '[ $code -eq 0 ]'

echo "rowlark-dedupe endings: $passed passed, $failed failed"
[ $failed -eq 0 ]
