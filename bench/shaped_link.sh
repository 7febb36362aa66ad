#!/usr/bin/env bash
# The job against the set-based statement over a slow link: a private network namespace whose
# loopback is held to a rate (100 Mbit/s by default, as a VPN or a cloud database gives), with a
# sandbox, the statement and rowlark-dedupe (reading keys here, and --on-server) inside it.
#
#   bench/shaped_link.sh [--runs N] [--rate RATE] [--rows N] [--wide-rows N] [--build DIR]
#       Fills a table of --rows rows (1,000,000) keyed on three of its six columns and one of
#       --wide-rows rows (200,000) keyed on all six, one row in ten repeating an earlier row at a
#       random place; then, --runs times (3), for each table: the set-based statement, rowlark-dedupe,
#       rowlark-dedupe --on-server, one after the other. Prints each run, then a table: the median
#       time, the median of each run's ratio to the set-based statement, and the bytes a row that
#       crossed the link (both ways, as the namespace's loopback counts them). The three new
#       tables of each run must hold the same rows.
#   bench/shaped_link.sh [--rate RATE] -- COMMAND [ARGS...]
#       Runs COMMAND inside such a namespace instead, e.g. a benchmark of build/bench/dedupe_bench.
#
# Runs as root (unshare -n) or, where the system lets users have namespaces of their own, as
# anyone (unshare -rn). Ends with status 77 when no private, shaped namespace can be made here.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

runs=3 rate=100mbit rows=1000000 wide_rows=200000 build=$here/build command=()
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift ;;
    --rate) rate=$2; shift ;;
    --rows) rows=$2; shift ;;
    --wide-rows) wide_rows=$2; shift ;;
    --build) build=$(cd "$2" && pwd); shift ;;
    --) shift; command=("$@"); break ;;
    -h | --help) sed -n '5,18s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "shaped_link.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

# Outside the namespace: find the tools, then start this script again inside one.
if [ -z "${ROWLARK_SHAPED_LINK_INSIDE:-}" ]; then
    if ! command -v tc > /dev/null || ! command -v ip > /dev/null; then
        source "$here/scripts/common.sh"
        ensure_packages iproute2
    fi
    if [ "$(id -u)" -eq 0 ]; then isolate=(unshare -n); else isolate=(unshare -rn); fi
    "${isolate[@]}" true 2> /dev/null || {
        echo "shaped_link.sh: no private network namespace here (run as root)" >&2
        exit 77
    }
    export ROWLARK_SHAPED_LINK_INSIDE=1
    args=(--runs "$runs" --rate "$rate" --rows "$rows" --wide-rows "$wide_rows" --build "$build")
    [ ${#command[@]} -eq 0 ] || args+=(-- "${command[@]}")
    exec "${isolate[@]}" "$0" "${args[@]}"
fi

# Inside: the namespace's own loopback, with an Ethernet's packet size, held to the rate.
{ ip link set lo up && ip link set lo mtu 1500 &&
    tc qdisc add dev lo root tbf rate "$rate" burst 256kb latency 100ms; } || {
    echo "shaped_link.sh: the namespace's loopback could not be shaped here" >&2
    exit 77
}
[ ${#command[@]} -eq 0 ] || exec "${command[@]}"

sandbox=$build/sandbox/rowlark-sandbox dedupe=$build/cli/rowlark-dedupe
for b in "$sandbox" "$dedupe"; do
    [ -x "$b" ] || { echo "shaped_link.sh: $b is not built (./test.sh builds it)" >&2; exit 1; }
done
dir=$(mktemp -d)
trap '"$here/scripts/sandbox.sh" stop "$dir" > /dev/null 2>&1 || true; rm -rf "$dir"' EXIT
export ROWLARK_SANDBOX_PASSWORD=shaped ROWLARK_PASSWORD=shaped ROWLARK_SETTINGS_DIR=$dir/settings
port=$("$here/scripts/sandbox.sh" start "$dir" "$sandbox" --fresh)
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini FREETDSCONF=$dir/freetds.conf
connection="Driver={SQL Server};Server=127.0.0.1,$port;Database=master;Uid=sa;Pwd=shaped;"

# Each line one statement; a statement that fails ends the run.
sql() {
    printf '%s\n' "$@" | isql -b -e -k "$connection" > "$dir/isql.out" 2> "$dir/isql.err" || true
    if grep -q ERROR "$dir/isql.out" "$dir/isql.err"; then
        echo "shaped_link.sh: a statement failed:" >&2
        cat "$dir/isql.out" "$dir/isql.err" >&2
        exit 1
    fi
}
count() {
    sql "SELECT COUNT(*) FROM [$1]"
    sed -n 's/^| *\([0-9][0-9]*\) *|$/\1/p' "$dir/isql.out"
}
# Bytes the namespace's loopback has sent: every packet between client and sandbox, once.
sent() { sed -n 's/^ *lo: *//p' /proc/net/dev | awk '{ print $9 }'; }
now() { echo "$EPOCHREALTIME"; }

# The rows of dedupe_bench's tables: n numbers them; k, a, b, c and d follow the row each row
# repeats, one row in ten repeating an earlier one at a random place.
fill() {
    local table=$1 n=$2 have=1
    local statements=("CREATE TABLE [$table] (n int NOT NULL, k int, a nvarchar(24), b nvarchar(24), c float, d bigint)"
        "INSERT INTO [$table] (n) VALUES (1)")
    while [ "$have" -lt "$n" ]; do
        local more=$((n - have < have ? n - have : have))
        statements+=("INSERT INTO [$table] (n) SELECT TOP ($more) n + $have FROM [$table]")
        have=$((have * 2))
    done
    # in bigint, as a server computes it: n * n * 40503 passes an int
    local h="((CAST(n AS bigint) * CAST(2654435761 AS bigint) + CAST(n AS bigint) * n * 40503) % CAST(4294967291 AS bigint))"
    local id="(CASE WHEN $h % 10 = 0 THEN ($h / 10) % n + 1 ELSE n END)"
    statements+=("UPDATE [$table] SET k = $id, a = 'name ' + CAST($id AS nvarchar(10)), b = 'city ' + CAST(($id) % 977 AS nvarchar(10)), c = ($id) * 0.5, d = ($id) * 3")
    sql "${statements[@]}"
}

declare -A time_of bytes_of ratio_of
# measure TABLE KIND ROWS COLUMNS...: one run of the statement (set), the job (job) or the job
# done by the server (server), keyed on the columns; its time and bytes a row are noted.
measure() {
    local table=$1 kind=$2 n=$3
    shift 3
    local out=${table}_$kind columns=() list="" c
    for c in "$@"; do
        columns+=(--column "$c")
        list+="${list:+, }[$c]"
    done
    sql "IF OBJECT_ID('$out') IS NOT NULL DROP TABLE [$out]"
    local b0 t0 t1 b1
    b0=$(sent)
    t0=$(now)
    case $kind in
    set) sql "SELECT [n], [k], [a], [b], [c], [d] INTO [$out] FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY $list ORDER BY (SELECT 0)) AS rn FROM [$table]) AS x WHERE rn = 1" ;;
    job | server)
        local extra=()
        [ "$kind" = job ] || extra=(--on-server)
        "$dedupe" --server 127.0.0.1 --port "$port" --user sa --database master --table "$table" \
            "${columns[@]}" --into "$out" "${extra[@]}" > "$dir/job.out" 2> "$dir/job.err" || {
            echo "shaped_link.sh: rowlark-dedupe failed:" >&2
            cat "$dir/job.err" >&2
            exit 1
        }
        ;;
    esac
    t1=$(now)
    b1=$(sent)
    time_of[$table.$kind]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }') "
    bytes_of[$table.$kind]+="$(awk -v a="$b0" -v b="$b1" -v n="$n" 'BEGIN { printf "%.3g", (b - a) / n }') "
}

median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "shaped link: $rate on a private loopback (tbf, MTU 1500), $runs runs;" \
    "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
fill Big "$rows"
fill Wide "$wide_rows"
sql "UPDATE Wide SET n = k" # keyed on every column: n repeats too
labels=("Big" "Wide")
declare -A size_of=([Big]="$rows x 3" [Wide]="$wide_rows x 6")
declare -A rows_of=([Big]=$rows [Wide]=$wide_rows)
declare -A keys_of=([Big]="k a b" [Wide]="n k a b c d")
for run in $(seq "$runs"); do
    for t in "${labels[@]}"; do
        # shellcheck disable=SC2086 # the key columns are words
        for kind in set job server; do measure "$t" "$kind" "${rows_of[$t]}" ${keys_of[$t]}; done
        kept=$(count "${t}_set")
        for kind in job server; do
            [ "$(count "${t}_$kind")" = "$kept" ] || {
                echo "shaped_link.sh: run $run: ${t}_$kind does not hold the $kept rows of ${t}_set" >&2
                exit 1
            }
        done
        set_time=$(awk '{ print $NF }' <<< "${time_of[$t.set]}")
        for kind in job server; do
            ratio_of[$t.$kind]+="$(awk -v j="$(awk '{ print $NF }' <<< "${time_of[$t.$kind]}")" \
                -v s="$set_time" 'BEGIN { printf "%.2f", j / s }') "
        done
        echo "run $run, ${size_of[$t]}: set-based $set_time s," \
            "rowlark-dedupe $(awk '{ print $NF }' <<< "${time_of[$t.job]}") s," \
            "--on-server $(awk '{ print $NF }' <<< "${time_of[$t.server]}") s; $kept rows kept" >&2
    done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

printf '%-16s %-28s %8s %12s %10s\n' "rows x columns" "what" "time s" "x set-based" "bytes/row"
declare -A name_of=([set]="set-based statement" [job]="rowlark-dedupe" [server]="rowlark-dedupe --on-server")
for t in "${labels[@]}"; do
    for kind in set job server; do
        ratio=1.00
        [ "$kind" = set ] || ratio=$(median <<< "${ratio_of[$t.$kind]}")
        printf '%-16s %-28s %8s %12s %10s\n' "$([ "$kind" = set ] && echo "${size_of[$t]}")" \
            "${name_of[$kind]}" "$(median <<< "${time_of[$t.$kind]}")" "$ratio" \
            "$(median <<< "${bytes_of[$t.$kind]}")"
    done
done
