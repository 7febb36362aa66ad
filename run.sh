#!/usr/bin/env bash
# Installs what is missing, builds, and starts the sandbox server with its demo database.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
    cat <<USAGE
usage: ./run.sh
Installs the Debian packages Rowlark needs (as root; otherwise prints the command), builds it,
and starts rowlark-sandbox, a small SQL Server stand-in, with the demo database in .run/.
It prints how to connect and stops the sandbox on Ctrl-C.
USAGE
    exit 0
fi

ensure_packages
mkdir -p build .run
configure_and_build build

state=.run
driver=$(tds_driver_library)
cat > "$state/odbcinst.ini" <<INI
[SQL Server]
Description = FreeTDS, registered under the name Rowlark uses
Driver = $driver
INI
: > "$state/odbc.ini"
# The demo login is the sandbox's own and never leaves this machine's loopback.
password=${ROWLARK_DEMO_PASSWORD:-Demo-Pass-1}
ROWLARK_SANDBOX_PASSWORD=$password build/sandbox/rowlark-sandbox --data "$state/data" --demo \
    > "$state/sandbox.out" 2> "$state/sandbox.err" &
pid=$!
trap 'kill -TERM $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 100); do grep -q '^listening' "$state/sandbox.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$state/sandbox.out")
[ -n "$port" ] || { cat "$state/sandbox.err" >&2; exit 1; }
cat <<INFO
The sandbox is listening on 127.0.0.1:$port with the database Demo.
  Server: 127.0.0.1   Port: $port   Username: sa   Password: $password   Database: Demo
Try it:
  tsql -H 127.0.0.1 -p $port -U sa -P '$password' -D Demo
  ODBCSYSINI=$PWD/$state isql -v -e -k "Driver={SQL Server};Server=127.0.0.1,$port;Database=Demo;Uid=sa;Pwd=$password;"
Press Ctrl-C to stop it.
INFO
wait $pid
