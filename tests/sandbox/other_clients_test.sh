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
echo "tsql and isql: 2 passed, 0 failed"
