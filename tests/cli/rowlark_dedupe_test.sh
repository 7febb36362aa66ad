#!/usr/bin/env bash
# rowlark-dedupe against the sandbox: a job, no duplicates, bad usage, a failing step.
set -uo pipefail
bin=${1:?usage: rowlark_dedupe_test.sh ROWLARK_DEDUPE}
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
port=$(cat "$dir/port")
export ROWLARK_SETTINGS_DIR=$(mktemp -d)
trap 'rm -rf "$ROWLARK_SETTINGS_DIR"' EXIT
export ROWLARK_PASSWORD='Rowlark;Test{1'
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1" >&2; fi; }
db="Cli_$$"
run() { "$bin" --server 127.0.0.1 --port "$port" --user sa --database "$db" "$@" > out.txt 2> err.txt < /dev/null; }
cd "$ROWLARK_SETTINGS_DIR"
sql() { printf '%s\ngo\n' "$1" | tsql -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D "$2" > /dev/null 2>&1; }
sql "CREATE DATABASE [$db]" master
sql "CREATE TABLE Customers (Name nvarchar(20), City nvarchar(20), Zip varchar(5))
INSERT INTO Customers VALUES (N'Ann', N'Zürich', '8001'), (N'Bo', N'Malmö', '2112'), (N'Ann', N'Zürich', '8002'),
 (N'Ann', N'zürich', '8001'), (N'Bo', N'Malmö', NULL), (N'Cy', NULL, NULL), (N'Cy', N'', '1'), (N'Ann', N'Zürich', '9')
CREATE TABLE Physics (Constant nvarchar(10), Value float)
INSERT INTO Physics VALUES (N'c', 299792458), (N'g', 9.80665), (N'c', 299792458)
CREATE VIEW CustomerCities AS SELECT DISTINCT City FROM Customers" "$db"

run --table Customers --column Name --column City --into CliCustomers; code=$?
check "job exit 0" '[ $code -eq 0 ]'
check "summary" 'grep -q "^Read 8 rows, removed 4 duplicates: \[CliCustomers\] holds 4 rows.$" out.txt'
check "progress lines on a pipe" 'grep -q "^creating the new table" err.txt'

run --table Physics --column Constant --column Value --into CliPhysics; code=$?
check "second job" '[ $code -eq 0 ] && grep -q "holds 2 rows" out.txt'

run --table CliPhysics --column Constant; code=$?
check "no duplicates exit 0" '[ $code -eq 0 ] && grep -qx "No duplicates found." out.txt'

run --table Physics; code=$?
check "missing column is usage" '[ $code -eq 2 ] && grep -q "column is required" err.txt'
run --table Physics --column Nope; code=$?
check "unknown column is usage" '[ $code -eq 2 ] && grep -q "has no column Nope" err.txt'
run --table Physics --column Value --password x; code=$?
check "no password option" '[ $code -eq 2 ]'
run --table Physics --column Value --into physics; code=$?
check "source name refused" '[ $code -eq 2 ] && grep -q "never changed" err.txt'
run --table NoSuchTable --column a; code=$?
check "unknown table is usage" '[ $code -eq 2 ] && grep -q "no table named NoSuchTable" err.txt'
# A view holds the new name: it is never dropped, and nothing is sent that changes anything.
run --table Customers --column Name --into CustomerCities --replace; code=$?
check "a view is never replaced" '[ $code -eq 2 ] && grep -q "not a table" err.txt && ! grep -q "^Read" out.txt'
# An existing table is replaced only with --replace.
run --table Customers --column Name --into CliPhysics; code=$?
check "existing table kept without --replace" '[ $code -eq 2 ] && grep -q -- "--replace" err.txt'
run --table Customers --column Name --into CliPhysics --replace; code=$?
check "replaced with --replace" '[ $code -eq 0 ] && grep -q "\[CliPhysics\] holds 3 rows" out.txt'
# The server goes away while the work table is made: the run says so and exits 1; the next succeeds.
sql "SANDBOX FAULT DROP ON 'INTO [#TEMP_TABLE_CREATED_BY_ORVANDEL'" "$db"
run --table Customers --column Name --into CliAgain; code=$?
check "server gone: exit 1" '[ $code -eq 1 ] && grep -q "step 204 failed" err.txt && ! grep -q "holds" out.txt'
sql "SANDBOX FAULT CLEAR" "$db"
run --table Customers --column Name --into CliAgain; code=$?
check "the next run succeeds" '[ $code -eq 0 ] && grep -q "holds 3 rows" out.txt'
# The copy that leaves the repeats out fails: a failure, never a success line.
sql "SANDBOX FAULT REFUSE 'WHERE NOT ('" "$db"
run --table Customers --column Name --into CliNoDeletes; code=$?
check "a failed final copy exits 1" '[ $code -eq 1 ] && grep -q "no new table was made" err.txt && [ ! -s out.txt ]'
sql "SANDBOX FAULT CLEAR" "$db"
# Names resolve exactly: é and É are two columns; a typed name that differs in case alone
# matches only when it is the only such name. Non-ASCII names resolve without a UTF-8 locale.
sql "CREATE TABLE Accents ([é] int, [É] int, [Straße] int)
INSERT INTO Accents VALUES (1, 1, 1), (1, 2, 1), (2, 2, 2)" "$db"
LANG= LC_ALL= run --table Accents --column É --into AccentsByUpper; code=$?
check "exact column wins" '[ $code -eq 0 ] && grep -q "removed 1 duplicate: \[AccentsByUpper\] holds 2 rows." out.txt'
LANG= LC_ALL= run --table Accents --column Straße --into AccentsStrasse; code=$?
check "non-ASCII column without a locale" '[ $code -eq 0 ] && grep -q "holds 2 rows" out.txt'
sql "CREATE TABLE Pair ([Äb] int, [äB] int)" "$db"
run --table Pair --column äb --into Pair2; code=$?
check "ambiguous column is usage" '[ $code -eq 2 ] && grep -q "could mean any of Äb, äB" err.txt'
run --table accents --column straße --into AccentsFolded; code=$?
check "a unique case-folded match" '[ $code -eq 0 ] && grep -q "holds 2 rows" out.txt'
# A table named like the old work table is cleaned like any other and never dropped.
sql "CREATE TABLE TEMP_TABLE_CREATED_BY_ORVANDEL (a int)
INSERT INTO TEMP_TABLE_CREATED_BY_ORVANDEL VALUES (1), (1), (2)" "$db"
run --table TEMP_TABLE_CREATED_BY_ORVANDEL --column a --into Kept; code=$?
check "a source named like the work table" '[ $code -eq 0 ] && grep -q "holds 2 rows" out.txt'
run --table TEMP_TABLE_CREATED_BY_ORVANDEL --column a --into Kept2; code=$?
check "and it is still there" '[ $code -eq 0 ] && grep -q "^Read 3 rows" out.txt'
run --table Customers --column Name --into "CustomersÌ" ; code=$?
cafe_nfc=$'caf\xc3\xa9' cafe_nfd=$'cafe\xcc\x81'
sql "CREATE TABLE [$cafe_nfc] (a int)
INSERT INTO [$cafe_nfc] VALUES (1), (1)" "$db"
run --table "$cafe_nfc" --column a --into "$cafe_nfd"; code=$?
check "a new name equal to the source in another Unicode form" '[ $code -eq 2 ] && grep -q "never changed" err.txt'
ROWLARK_PASSWORD=wrong run --table Physics --column Value; code=$?
check "wrong password" '[ $code -eq 1 ] && grep -q "Login failed" err.txt'
"$bin" --help > out.txt; code=$?
check "help" '[ $code -eq 0 ] && grep -q "^usage: rowlark-dedupe" out.txt'
# --help and the manual page name the same options.
man_page=$(dirname "$0")/../../docs/man/rowlark-dedupe.1
help_options=$("$bin" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
man_options=$(sed 's/\\-/-/g; s/\\f[BIR]//g' "$man_page" | grep -o -- '--[a-z][a-z-]*' | sort -u)
check "--help and the manual page agree" '[ -n "$help_options" ] && [ "$help_options" = "$man_options" ] || { diff <(echo "$help_options") <(echo "$man_options") >&2; false; }'
"$bin" --version > out.txt; code=$?
check "version" '[ $code -eq 0 ] && grep -qx "rowlark-dedupe [0-9.]*" out.txt'
run --table Physics --colum Value; code=$?
check "a usage error is one line and a hint" '[ $code -eq 2 ] && [ "$(wc -l < err.txt)" -eq 2 ] && grep -qx "rowlark-dedupe: unknown option --colum" err.txt && grep -qx "Try '"'"'rowlark-dedupe --help'"'"'." err.txt'
run --table=Physics --column=Constant --column=Value --into=CliPhysicsEq --memory-limit=64M; code=$?
check "--option=value" '[ $code -eq 0 ] && grep -qx "Read 3 rows, removed 1 duplicate: \[CliPhysicsEq\] holds 2 rows." out.txt'
# Options that do not go together are refused before anything is read, as --help says.
for pair in "--on-server --memory-limit 1M:--on-server and --memory-limit" \
    "--on-server --spill-dir .:--on-server and --spill-dir" \
    "--dry-run --removed-into Gone:--dry-run and --removed-into" "--local --no-local:--local and --no-local"; do
    run --table Physics --column Value ${pair%%:*} --json; code=$?
    check "${pair#*:}: usage, nothing made" '[ $code -eq 2 ] && grep -q "^rowlark-dedupe: ${pair#*:} " err.txt && python3 -c "import json; d=json.load(open(\"out.txt\")); assert d[\"outcome\"]==\"usage\", d" && "$bin" --help | grep -q -- "${pair#*:}"'
done
check "a dry run with --removed-into made no table" '! run --table Gone --column Value && grep -q "no table named Gone" err.txt'
ROWLARK_SETTINGS_DIR=$(mktemp -d) "$bin" --table T --column c > out.txt 2> err.txt < /dev/null; code=$?
check "no server stored or given" '[ $code -eq 2 ] && grep -q "no server: give --server" err.txt'

# --dry-run reads and reports, and creates nothing.
run --table Customers --column Name --into DryRun --dry-run; code=$?
check "dry run" '[ $code -eq 0 ] && grep -qx "\[Customers\]: 8 rows, 5 duplicates, 3 distinct keys. Nothing was changed." out.txt && grep -qx "  4 rows: Ann" out.txt'
run --table Customers --column Name --column City --dry-run --json; code=$?
check "dry run as JSON" '[ $code -eq 0 ] && python3 -c "import json,sys; d=json.load(open(\"out.txt\")); assert d[\"rows\"]==8 and d[\"duplicates\"]==4 and d[\"largest_groups\"][0]=={\"values\":[\"Ann\",\"Zürich\"],\"rows\":3}, d"'
run --table DryRun --column Name; code=$?
check "the dry run made nothing" '[ $code -eq 2 ] && grep -q "no table named DryRun" err.txt'
# Which row stays: --keep and --order-by, resolved like --column, shown by the dry run.
run --table Customers --column Name --keep middle; code=$?
check "--keep takes first or last" '[ $code -eq 2 ] && grep -q "takes first or last" err.txt'
run --table Customers --column Name --order-by City --order-by "city DESC"; code=$?
check "an order column named twice" '[ $code -eq 2 ] && grep -q "a second time" err.txt'
run --table Customers --column Name --order-by "Nope DESC"; code=$?
check "an unknown order column is refused" '[ $code -eq 2 ] && grep -q "has no column Nope" err.txt && ! grep -q "^Try" err.txt'
run --table Customers --column Name --order-by "zip desc" --dry-run; code=$?
check "the dry run shows the rule and the row that stays" '[ $code -eq 0 ] && grep -qx "A run keeps the first row of each group ordered by \[Zip\] DESC (ties: the table'"'"'s own order)." out.txt && grep -qx "  4 rows: Ann (the row that stays: 9)" out.txt'
run --table Customers --column Name --keep last --into KeptLast --json; code=$?
check "--keep last in the JSON summary" '[ $code -eq 0 ] && python3 -c "import json; d=json.load(open(\"out.txt\")); assert d[\"keep\"]==\"last\" and d[\"new_table_rows\"]==3, d"'
kept=$(printf "SELECT Zip FROM KeptLast WHERE Name = N'Ann'\ngo\n" |
    tsql -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D "$db" 2> /dev/null | grep -cx "9")
check "the last Ann stayed" '[ "$kept" = 1 ]'

# The removed rows kept, and the whole job on the server (its comparison: Zürich = zürich).
run --table Customers --column Name --column City --into WithRemoved --removed-into TheRemoved; code=$?
check "--removed-into" '[ $code -eq 0 ] && grep -qx "Read 8 rows, removed 4 duplicates: \[WithRemoved\] holds 4 rows. \[TheRemoved\] holds the 4 rows removed." out.txt'
run --table Customers --column Name --into Twice --removed-into twice; code=$?
check "--removed-into the new table itself is refused" '[ $code -eq 2 ] && grep -q "of their own" err.txt'
run --table Customers --column Name --column City --on-server --into OnServer --json; code=$?
check "--on-server decides by the server's comparison" '[ $code -eq 0 ] && python3 -c "import json; d=json.load(open(\"out.txt\")); assert d[\"on_server\"] and d[\"new_table_rows\"]==4 and d[\"removed\"]==4 and \"server\" in d[\"comparison\"], d"'
run --table Customers --column Name --column City --on-server --dry-run; code=$?
check "--on-server --dry-run" '[ $code -eq 0 ] && grep -q "8 rows, 4 duplicates, 4 distinct keys" out.txt && grep -q "^The server decided" out.txt'

# --json: one object on standard output, progress on standard error.
run --table Customers --column Name --into JsonRun --json; code=$?
check "JSON summary" '[ $code -eq 0 ] && python3 -c "import json; d=json.load(open(\"out.txt\")); assert d[\"new_table_made\"] and d[\"new_table_rows\"]==3 and d[\"removed\"]==5 and d[\"failed_steps\"]==[], d"'
sql "SANDBOX FAULT REFUSE 'INTO [JsonFail]'" "$db"
run --table Customers --column Name --into JsonFail --json; code=$?
sql "SANDBOX FAULT CLEAR" "$db"
check "JSON of a failed run" '[ $code -eq 1 ] && python3 -c "import json; d=json.load(open(\"out.txt\")); assert not d[\"new_table_made\"] and d[\"failed_steps\"][0][\"step\"]==234, d"'

# The stored password goes only to the stored login. A listener records whether anyone came.
listener_port_file=$(mktemp)
python3 -c "
import socket, sys
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(1); s.settimeout(8)
open(sys.argv[1], 'w').write(str(s.getsockname()[1]) + '\n'); sys.stdout.flush()
try:
    c, _ = s.accept(); open(sys.argv[1], 'a').write('login arrived\n')
except socket.timeout:
    pass
" "$listener_port_file" &
listener=$!
for _ in $(seq 50); do [ -s "$listener_port_file" ] && break; sleep 0.1; done
other=$(head -1 "$listener_port_file")
cat > Quenbrook.ini << INI
[Rowlark]
MSServer=127.0.0.1
Port=$port
MSUser=sa
MSPassword="$ROWLARK_PASSWORD"
MSDatabase=$db
Local%20Connection=0
INI
env -u ROWLARK_PASSWORD "$bin" --port "$other" --table Physics --column Value > out.txt 2> err.txt < /dev/null; code=$?
check "no stored password for another server" '[ $code -eq 2 ] && grep -qx "rowlark-dedupe: no password: set ROWLARK_PASSWORD" err.txt'
kill $listener 2> /dev/null; wait $listener 2> /dev/null
check "and no login went there" '! grep -q "login arrived" "$listener_port_file"'
env -u ROWLARK_PASSWORD "$bin" --table Physics --column Constant --into StoredLogin > out.txt 2> err.txt < /dev/null; code=$?
check "the stored password for the stored login" '[ $code -eq 0 ] && grep -q "holds 2 rows" out.txt'
ROWLARK_PASSWORD= "$bin" --no-local --table Physics --column Constant --into StoredLogin2 > out.txt 2> err.txt < /dev/null; code=$?
check "an empty ROWLARK_PASSWORD is a password too" '[ $code -eq 1 ] && grep -q "Login failed" err.txt'
rm -f Quenbrook.ini "$listener_port_file"

# A server that takes the connection and never answers: a one-line reason, status 1, in time.
silent_port_file=$(mktemp)
python3 -c "
import socket, sys, time
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(4)
open(sys.argv[1], 'w').write(str(s.getsockname()[1]) + '\\n')
time.sleep(40)
" "$silent_port_file" &
silent=$!
for _ in $(seq 50); do [ -s "$silent_port_file" ] && break; sleep 0.1; done
started=$(date +%s)
"$bin" --server 127.0.0.1 --port "$(cat "$silent_port_file")" --user sa --database x --table T \
    --column c > out.txt 2> err.txt < /dev/null; code=$?
took=$(( $(date +%s) - started ))
kill $silent 2> /dev/null; wait $silent 2> /dev/null; rm -f "$silent_port_file"
check "a silent server: status 1 within the login time-out" '[ $code -eq 1 ] && [ $took -le 20 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "did not answer" err.txt'

# SIGINT and SIGTERM stop the job: the statement is cancelled, nothing is made, 130 or 143.
for sig in INT TERM; do
    sql "SANDBOX FAULT DELAY 400" "$db"
    rm -f err.txt # what an earlier run printed must not pass for this one's progress
    "$bin" --server 127.0.0.1 --port "$port" --user sa --database "$db" --table Customers \
        --column Name --into "Stopped$sig" > out.txt 2> err.txt < /dev/null &
    job=$!
    # Once the job reads (its progress on standard error says so), its statements are held.
    for _ in $(seq 200); do grep -q "reading rows" err.txt && break; sleep 0.05; done
    kill -$sig $job
    wait $job; code=$?
    sql "SANDBOX FAULT CLEAR" "$db"
    want=$([ $sig = INT ] && echo 130 || echo 143)
    check "SIG$sig stops the job with $want" '[ $code -eq $want ] && grep -q "stopped by SIG$sig" err.txt && [ ! -s out.txt ]'
done
# Where the driver is registered under another name, ROWLARK_ODBC_DRIVER names it.
mkdir -p newer
sed 's/^\[SQL Server\]$/[ODBC Driver 18 for SQL Server]/' "$dir/odbcinst.ini" > newer/odbcinst.ini
: > newer/odbc.ini
ODBCSYSINI=$PWD/newer ODBCINI=$PWD/newer/odbc.ini run --table Customers --column Name --dry-run; code=$?
check "no \"SQL Server\" driver: status 1" '[ $code -eq 1 ] && grep -qi "not found" err.txt'
ODBCSYSINI=$PWD/newer ODBCINI=$PWD/newer/odbc.ini ROWLARK_ODBC_DRIVER="ODBC Driver 18 for SQL Server" \
    run --table Customers --column Name --dry-run; code=$?
check "ROWLARK_ODBC_DRIVER names the driver" '[ $code -eq 0 ] && grep -q "8 rows" out.txt'
run --table Customers --column Name --dry-run; code=$?
check "the source is as it was after the signals" '[ $code -eq 0 ] && grep -q "8 rows" out.txt'
echo "rowlark-dedupe: $passed passed, $failed failed"
[ $failed -eq 0 ]
