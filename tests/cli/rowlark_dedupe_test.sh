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
check "summary" 'grep -q "^Read 8 rows, removed 4 of 4 duplicates: \[CliCustomers\] holds 4 rows.$" out.txt'
check "progress lines on a pipe" 'grep -q "^deleting duplicates" err.txt'

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
# Every delete fails: a failure, never a success line.
sql "SANDBOX FAULT REFUSE 'DELETE FROM'" "$db"
run --table Customers --column Name --into CliNoDeletes; code=$?
check "failed deletes exit 1" '[ $code -eq 1 ] && grep -q "no new table was made" err.txt && [ ! -s out.txt ]'
sql "SANDBOX FAULT CLEAR" "$db"
# Names resolve exactly: é and É are two columns; a typed name that differs in case alone
# matches only when it is the only such name. Non-ASCII names resolve without a UTF-8 locale.
sql "CREATE TABLE Accents ([é] int, [É] int, [Straße] int)
INSERT INTO Accents VALUES (1, 1, 1), (1, 2, 1), (2, 2, 2)" "$db"
LANG= LC_ALL= run --table Accents --column É --into AccentsByUpper; code=$?
check "exact column wins" '[ $code -eq 0 ] && grep -q "removed 1 of 1 duplicate: \[AccentsByUpper\] holds 2 rows." out.txt'
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
echo "rowlark-dedupe: $passed passed, $failed failed"
[ $failed -eq 0 ]
