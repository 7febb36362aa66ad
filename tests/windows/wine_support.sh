# Shared by the Wine tests: a private Wine prefix, quiet and without the add-on installers, and the
# sandbox's driver list (Wine's odbc32.dll hands ODBC calls to the host's unixODBC, which reads it).
# shellcheck shell=bash

command -v wine > /dev/null || { echo "SKIPPED: wine is not installed (scripts/windows.sh installs it)"; exit 77; }
stage=${1:?usage: $0 WINDOWS_BUILD_FOLDER}/stage
[ -f "$stage/rowlark-dedupe.exe" ] || { echo "SKIPPED: no Windows programs in $stage (scripts/windows.sh builds them)"; exit 77; }
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
port=$(cat "$dir/port")
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini FREETDSCONF=$dir/freetds.conf
export ROWLARK_PASSWORD='Rowlark;Test{1'
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1" >&2; fi; }
sql() { printf '%s\ngo\n' "$1" | tsql -H 127.0.0.1 -p "$port" -U sa -P "$ROWLARK_PASSWORD" -D "$2" 2>&1; }
# What a query prints, one value per line, without tsql's own lines.
values() { sql "$1" "$2" | grep -v -E '^(locale|using default|Setting|[0-9]+> |\([0-9]+ rows? affected\))' | sed '1d'; }
# A new prefix takes several seconds to make; made once here, outside the timed checks.
start_wine() {
    local t=$(date +%s)
    wine wineboot --init > /dev/null 2>&1
    wineserver --wait 2> /dev/null || true
    echo "Wine prefix ready in $(($(date +%s) - t)) s"
}
finish() {
    wineserver --kill 2> /dev/null || true
    rm -rf "$work"
}
