#!/usr/bin/env bash
# Installs what is missing, builds, starts the sandbox server with its demo database and opens
# the wizard on it; without a display, runs the same job once from the command line instead.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

case ${1:-} in
"") ;;
-h | --help)
    cat << USAGE
usage: ./run.sh
Installs the Debian packages Rowlark needs (as root; otherwise prints the one command to run),
builds it, and starts rowlark-sandbox, a small SQL Server stand-in, with the demo database Demo
in .run/. The wizard then opens on the demo login (stored in .run/settings, never in your own
settings), starting on the table page. Closing the wizard stops the sandbox.
Without a display it runs the same job once with rowlark-dedupe on the table Customers instead.
A second run reuses the build and the demo data.
USAGE
    exit 0
    ;;
*)
    echo "unknown option $1 (./run.sh --help says what it does)" >&2
    exit 2
    ;;
esac

# ROWLARK_SKIP_BUILD=1 uses the build in ROWLARK_BUILD_DIR as it is (the suite's own test does).
build=${ROWLARK_BUILD_DIR:-build}
state=$(realpath -m "${ROWLARK_RUN_DIR:-.run}")
if [ "${ROWLARK_SKIP_BUILD:-0}" != 1 ]; then
    ensure_packages "${ROWLARK_DESKTOP_PACKAGES[@]}"
    mkdir -p "$build"
    # The three programs only; ./test.sh builds the tests and benchmarks.
    [ -x "$build/pages/rowlark" ] || echo "Building Rowlark (the first build takes a few minutes)..."
    ROWLARK_TARGETS="rowlark rowlark-dedupe rowlark-sandbox" configure_and_build "$build"
fi
mkdir -p "$state/settings"

# The demo login is the sandbox's own and never leaves this machine's loopback.
password=Demo-Pass-1
# The status is the wizard's (or the demo job's): a sandbox that has to be killed says so, and
# changes nothing of what the user did.
trap 'status=$?; scripts/sandbox.sh stop "$state" || true; exit $status' EXIT
port=$(ROWLARK_SANDBOX_PASSWORD=$password scripts/sandbox.sh start "$state" \
    "$build/sandbox/rowlark-sandbox" --demo)
export ODBCSYSINI=$state ODBCINI=$state/odbc.ini FREETDSCONF=$state/freetds.conf
export ROWLARK_SETTINGS_DIR=$state/settings

cat > "$state/settings/Quenbrook.ini" << INI
[Rowlark]
MSServer=127.0.0.1
Port=$port
MSUser=sa
MSPassword=$password
MSDatabase=Demo
Local%20Connection=0
INI
chmod 600 "$state/settings/Quenbrook.ini"

display=${DISPLAY:-}${WAYLAND_DISPLAY:-}
cat << REACH
Demo server on 127.0.0.1:$port (user sa, password $password, database Demo), until $([ -n "$display" ] && echo "the wizard closes" || echo "the demo job ends").
From another terminal, with the demo's driver registration:
  export ODBCSYSINI=$state ODBCINI=$state/odbc.ini FREETDSCONF=$state/freetds.conf ROWLARK_SETTINGS_DIR=$state/settings
  ROWLARK_PASSWORD=$password $(realpath "$build")/cli/rowlark-dedupe --table Customers --column Name --dry-run
  isql -v -k "Driver={SQL Server};Server=127.0.0.1,$port;Database=Demo;Uid=sa;Pwd=$password;"
  tsql -H 127.0.0.1 -p $port -U sa -P $password -D Demo
REACH
if [ -n "$display" ]; then
    echo "Opening the wizard."
    "$build/pages/rowlark"
else
    echo "No display: running the demo job once with rowlark-dedupe (Customers, by Name and City)."
    ROWLARK_PASSWORD=$password "$build/cli/rowlark-dedupe" --table Customers --column Name --column City \
        --into CustomersDeduplicated --replace
fi
