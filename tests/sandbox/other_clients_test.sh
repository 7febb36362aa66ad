#!/usr/bin/env bash
# The sandbox answers clients nobody here wrote: FreeTDS's tsql and unixODBC's isql.
set -euo pipefail
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
port=$(cat "$dir/port")
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$(printf 'SELECT Name, City FROM Customers WHERE Zip = %s\ngo\nSELECT * FROM nothere\ngo\n' "'21120'" |
      tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D Demo 2>&1) || true
grep -q "Bo Lindqvist" <<<"$out" || fail "tsql: no rows: $out"
grep -q "(2 rows affected)" <<<"$out" || fail "tsql: row count: $out"
grep -q "Invalid object name 'nothere'" <<<"$out" || fail "tsql: error text: $out"

out=$(printf 'SELECT Name FROM Customers WHERE Zip = %s\ngo\n' "'8001'" |
      tsql -H 127.0.0.1 -p "$port" -U sa -P 'wrong' -D Demo 2>&1) || true
grep -q "Login failed for user 'sa'" <<<"$out" || fail "tsql: wrong password accepted: $out"

conn="Driver={SQL Server};Server=127.0.0.1,$port;Database=Demo;Uid=sa;Pwd={Rowlark;Test{1};"
out=$(echo "SELECT Constant, Value FROM Physics" | isql -v -e -k "$conn" -b -c 2>&1) || fail "isql: $out"
grep -q "299792458" <<<"$out" || fail "isql: rows missing: $out"
out=$(echo "SELECT nope FROM Physics" | isql -v -e -k "$conn" -b 2>&1) || true
grep -q "Invalid column name 'nope'" <<<"$out" || fail "isql: error text: $out"
# isql as run.sh prints it (no -e): each line is prepared and executed (sp_prepexec), and the
# statement handle is let go (sp_unprepare).
out=$(printf 'SELECT Constant FROM Physics WHERE Constant = N%sc%s\nSELECT COUNT(*) AS n FROM Physics\nSELECT nope FROM Physics\nSELECT 7 AS seven\n' "'" "'" |
      isql -v -k "$conn" -b 2>&1) || true
grep -q "| c " <<<"$out" || fail "isql prepared: rows missing: $out"
grep -q "Invalid column name 'nope'" <<<"$out" || fail "isql prepared: error text: $out"
grep -q "| 7 " <<<"$out" || fail "isql prepared: no answer after an error: $out"
grep -q "Could not find stored procedure" <<<"$out" && fail "isql prepared: $out"
# Every statement form the program sends, through tsql, in a database of this test's own.
db="Forms_$$"
printf 'CREATE DATABASE [%s]\ngo\n' "$db" | tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' > /dev/null 2>&1
out=$(tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D "$db" 2>&1 << 'SQL'
create table [we]]ird] (Id int IDENTITY(1,1) NOT NULL PRIMARY KEY, City nvarchar(20) NULL, Zip varchar(5))
INSERT INTO [we]]ird] (City, Zip) VALUES (N'Zürich', '8001'), (N'Bern', '3000'), (N'Zürich', '8001'), (NULL, NULL)
UPDATE [we]]ird] SET Zip = '3001' WHERE City = N'Bern'
CREATE INDEX ix_city ON [we]]ird] (City)
CREATE VIEW v AS SELECT City FROM [we]]ird]
BEGIN TRAN
DELETE FROM [we]]ird] WHERE Id = 1
ROLLBACK
SELECT TOP 1 Zip AS top_zip FROM [we]]ird] ORDER BY Zip DESC;
SELECT City, count(*) AS n FROM [we]]ird] GROUP BY City HAVING count(*) > 1
SELECT * INTO [copy] From [we]]ird]
if (object_id ('TEMP_X') is not null) drop table [TEMP_X]
SELECT City, Zip INTO [TEMP_X] FROM [we]]ird]
ALTER TABLE [TEMP_X] ADD [Num] INT IDENTITY(1,1)
DELETE FROM [TEMP_X] WHERE [Num] = 3
SELECT City, Zip INTO [dedup] FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY [City], [Zip] ORDER BY (SELECT 0)) AS rn FROM [we]]ird]) AS x WHERE rn = 1
IF OBJECT_ID(N'TEMP_X') IS NOT NULL DROP TABLE TEMP_X
SELECT 'count' + '=' + CAST(count(*) AS varchar(5)) AS forms FROM dedup
SELECT column_name FROM information_schema.Columns WHERE table_name='WE]IRD'
go
SQL
)
for expected in "^8001$" "^Zürich	2$" "^count=3$" "^Id$" "^Zip$" "(3 rows affected)"; do
    grep -q "$expected" <<< "$out" || fail "statement forms: no line matching $expected in: $out"
done
grep -q "Msg " <<< "$out" && fail "statement forms: an error: $out"

# FreeTDS's bulk copy (db-lib's bcp): the rows go in as a bulk load after INSERT BULK, and come
# out again; the table on the server holds them.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'Zürich\t8001\nit'"'"'s\t\n' > "$work/in.txt"
printf 'CREATE TABLE bcp_rows (City nvarchar(20) NOT NULL, Zip int NULL)\ngo\n' |
    tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D "$db" > /dev/null 2>&1
out=$(TDSPORT=$port timeout 30 freebcp bcp_rows in "$work/in.txt" -c -S 127.0.0.1 -U sa \
      -P 'Rowlark;Test{1' -D "$db" 2>&1) || fail "freebcp in: $out"
grep -q "2 rows copied" <<< "$out" || fail "freebcp in: $out"
out=$(printf 'SELECT City, ISNULL(Zip, -1) AS z FROM bcp_rows ORDER BY City\ngo\n' |
      tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D "$db" 2>&1)
grep -q "^it's	-1$" <<< "$out" && grep -q "^Zürich	8001$" <<< "$out" || fail "bulk-copied rows: $out"
out=$(TDSPORT=$port timeout 30 freebcp bcp_rows out "$work/out.txt" -c -S 127.0.0.1 -U sa \
      -P 'Rowlark;Test{1' -D "$db" 2>&1) || fail "freebcp out: $out"
cmp -s <(sort "$work/in.txt") <(sort "$work/out.txt") || fail "freebcp out: $(cat "$work/out.txt")"
echo "tsql, isql and freebcp: 5 passed, 0 failed"
