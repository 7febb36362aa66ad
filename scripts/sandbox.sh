#!/usr/bin/env bash
# The one way to register the driver for the sandbox and to start and stop it, used by run.sh,
# the test suite's fixture and the benchmarks.
#
#   scripts/sandbox.sh register DIR
#       DIR/odbcinst.ini names FreeTDS "SQL Server", as the program asks for it; DIR/odbc.ini is
#       empty; DIR/freetds.conf makes FreeTDS's own tools send UTF-8. Point ODBCSYSINI at DIR,
#       ODBCINI at DIR/odbc.ini and FREETDSCONF at DIR/freetds.conf to use them.
#   scripts/sandbox.sh start DIR BINARY [--fresh] [--demo] [--driver LIBRARY]
#       Registers the driver in DIR, starts BINARY (rowlark-sandbox) on a free loopback port with
#       its data in DIR/data (--fresh: an empty one), waits until it listens and prints the port
#       (also in DIR/port; the process id is in DIR/pid). The sa password is
#       $ROWLARK_SANDBOX_PASSWORD. A sandbox still running from DIR is stopped first.
#   scripts/sandbox.sh stop DIR
#       SIGTERM, then SIGKILL after five seconds; nothing to do when none runs.
set -euo pipefail

usage() {
    sed -n '5,14s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

action=${1:-}
dir=${2:-}
[ -n "$action" ] && [ -n "$dir" ] || usage
shift 2

driver_library() {
    local lib
    lib=$(dpkg -L tdsodbc 2> /dev/null | grep -m1 '/libtdsodbc\.so$') || true
    [ -n "$lib" ] || lib=$(find /usr/lib -name libtdsodbc.so -print -quit 2> /dev/null)
    [ -n "$lib" ] || {
        echo "sandbox.sh: the FreeTDS ODBC driver (Debian package tdsodbc) is not installed" >&2
        exit 1
    }
    echo "$lib"
}

register() {
    local driver=$1
    mkdir -p "$dir"
    cat > "$dir/odbcinst.ini" << INI
[SQL Server]
Description = FreeTDS, registered under the name Rowlark uses
Driver = $driver
UsageCount = 1
INI
    : > "$dir/odbc.ini"
    # FreeTDS reads a client's text in ISO-8859-1 unless told otherwise (tsql when no locale is
    # set, isql always): UTF-8 names would reach the server as mojibake. Point FREETDSCONF here.
    printf '[global]\n\tclient charset = UTF-8\n' > "$dir/freetds.conf"
}

# Whether the process still runs. An ended sandbox whose parent has not collected it yet (run.sh
# starts it from a subshell, so that parent is init) is a zombie: gone for all that matters here.
running() {
    kill -0 "$1" 2> /dev/null || return 1
    [ -r "/proc/$1/stat" ] || return 0
    [ "$(cut -d' ' -f3 "/proc/$1/stat" 2> /dev/null)" != Z ]
}

stop() {
    [ -f "$dir/pid" ] || return 0
    local pid
    pid=$(cat "$dir/pid")
    rm -f "$dir/pid"
    kill -TERM "$pid" 2> /dev/null || return 0
    for _ in $(seq 100); do
        running "$pid" || return 0
        sleep 0.05
    done
    echo "sandbox.sh: the sandbox did not end on SIGTERM" >&2
    kill -KILL "$pid" 2> /dev/null || true
    return 1
}

case $action in
register)
    register "$(driver_library)"
    ;;
stop)
    stop
    ;;
start)
    binary=${1:-}
    [ -n "$binary" ] || usage
    shift
    fresh=0 demo=() driver=""
    while [ $# -gt 0 ]; do
        case $1 in
        --fresh) fresh=1 ;;
        --demo) demo=(--demo) ;;
        --driver)
            driver=${2:-}
            shift
            ;;
        *) usage ;;
        esac
        shift
    done
    stop || true
    [ $fresh = 0 ] || rm -rf "$dir/data"
    register "${driver:-$(driver_library)}"
    rm -f "$dir/port"
    # Emptied here, not only by the redirection below: that one happens in the background child,
    # and the loop could read the line an earlier sandbox left (its port) before it does.
    : > "$dir/sandbox.out"
    "$binary" --data "$dir/data" --port 0 "${demo[@]}" \
        > "$dir/sandbox.out" 2> "$dir/sandbox.err" < /dev/null &
    echo $! > "$dir/pid"
    for _ in $(seq 100); do
        port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$dir/sandbox.out" 2> /dev/null)
        if [ -n "$port" ]; then
            echo "$port" > "$dir/port"
            echo "$port"
            exit 0
        fi
        kill -0 "$(cat "$dir/pid")" 2> /dev/null || break
        sleep 0.1
    done
    echo "sandbox.sh: the sandbox did not start:" >&2
    cat "$dir/sandbox.err" >&2
    stop || true
    exit 1
    ;;
*) usage ;;
esac
