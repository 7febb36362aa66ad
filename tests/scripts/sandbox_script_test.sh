#!/usr/bin/env bash
# scripts/sandbox.sh: a sandbox that cannot start is reported and leaves nothing behind; starting
# again in the same folder replaces the one running there and reports its own port; stop ends it
# and may be repeated.
set -uo pipefail
script=${1:?usage: sandbox_script_test.sh SCRIPT SANDBOX_BINARY}
binary=${2:?}
work=$(mktemp -d)
trap '"$script" stop "$work/s" > /dev/null 2>&1; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export ROWLARK_SANDBOX_PASSWORD=Script-Test-1
# An ended sandbox that init has not collected yet is a zombie, and gone.
running() { kill -0 "$1" 2> /dev/null && [ "$(cut -d' ' -f3 "/proc/$1/stat" 2> /dev/null)" != Z ]; }

out=$(env -u ROWLARK_SANDBOX_PASSWORD "$script" start "$work/s" "$binary" --fresh 2>&1) &&
    fail "started without a password"
grep -q "did not start" <<< "$out" || fail "no reason given: $out"
[ ! -f "$work/s/pid" ] || fail "a pid file was left"

port=$("$script" start "$work/s" "$binary" --fresh) || fail "start"
first=$(cat "$work/s/pid")
grep -q "^Driver = .*libtdsodbc.so$" "$work/s/odbcinst.ini" || fail "driver not registered"
grep -q "^\[SQL Server\]$" "$work/s/odbcinst.ini" || fail "not under the name the program uses"
timeout 5 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" || fail "nothing listens on $port"

# The next start reports its own port, never the one the last sandbox wrote into the same folder.
for round in 1 2 3 4 5; do
    echo "listening on 127.0.0.1:1" > "$work/s/sandbox.out"
    again=$("$script" start "$work/s" "$binary") || fail "start again ($round)"
    [ "$again" != 1 ] || fail "the port of an earlier sandbox was reported ($round)"
    timeout 5 bash -c "exec 3<>/dev/tcp/127.0.0.1/$again" || fail "nothing listens on $again"
done
running "$first" && fail "the first sandbox still runs"
second=$(cat "$work/s/pid")

# Stopped while it holds a statement (a batch held for a minute), the sandbox ends at once, with
# the held connection cut, and stop says all went well.
export FREETDSCONF=$work/s/freetds.conf
sql() { printf '%s\ngo\n' "$1" | timeout 90 tsql -H 127.0.0.1 -p "$again" -U sa -P "$ROWLARK_SANDBOX_PASSWORD" -D master 2>&1; }
sql "SANDBOX FAULT DELAY 60000 ON 'HOLD_ME'" > /dev/null
sql "SELECT 'HOLD_ME'" > "$work/held.out" &
holder=$!
for _ in $(seq 100); do
    n=$(sql "SANDBOX CONNECTIONS" | grep -Eo '^[0-9]+$' | head -1)
    [ "${n:-0}" -ge 2 ] && break
    sleep 0.1
done
[ "${n:-0}" -ge 2 ] || fail "the held batch never reached the sandbox"
started=$(date +%s%N)
"$script" stop "$work/s" 2> "$work/stop.err" || fail "stop while a statement is held: $(cat "$work/stop.err")"
took=$(( ($(date +%s%N) - started) / 1000000 ))
running "$second" && fail "the sandbox still runs after stop"
[ "$took" -lt 2000 ] || fail "stopping while a statement was held took $took ms"
wait "$holder"
grep -q "^HOLD_ME" "$work/held.out" && fail "the held batch was answered instead of cut"
"$script" stop "$work/s" || fail "a second stop"
echo "sandbox.sh: 2 passed, 0 failed"
