#!/usr/bin/env bash
# Runs one client stack that nobody here wrote against the suite's sandbox at one TDS version:
#   client_test.sh SANDBOX_DIR CLIENT TDS_VERSION
#     tedious      (Node.js, npm; versions 7_1, 7_4)
#     pymssql      (Python, FreeTDS's db-lib; versions 7.1, 7.3)
#     dbd-sybase   (Perl, FreeTDS's CT-lib; versions 7.1, 7.4)
# Each skips (status 77) with the reason when its package is missing; ./test.sh installs them.
set -uo pipefail
dir=${1:?usage: client_test.sh SANDBOX_DIR CLIENT TDS_VERSION}
client=${2:?}
version=${3:?}
here=$(cd "$(dirname "$0")" && pwd)
port=$(cat "$dir/port")
password='Rowlark;Test{1'
skip() {
    echo "SKIPPED: $*"
    exit 77
}
case $client in
tedious)
    command -v node > /dev/null || skip "Node.js is not installed, so tedious cannot run"
    [ -d "$here/node_modules/tedious" ] ||
        skip "tedious is not installed; ./test.sh installs it (npm ci in tests/clients)"
    exec timeout 120 node "$here/tedious_client.js" "$port" "$password" master "$version"
    ;;
pymssql)
    # Debian's module, for Debian's Python (another python3 may come first on PATH).
    /usr/bin/python3 -c 'import pymssql' 2> /dev/null ||
        skip "pymssql is not installed (Debian package python3-pymssql; ./test.sh installs it)"
    exec timeout 120 /usr/bin/python3 "$here/pymssql_client.py" "$port" "$password" "$version"
    ;;
dbd-sybase)
    /usr/bin/perl -MDBD::Sybase -MJSON::PP -e 1 2> /dev/null ||
        skip "DBD::Sybase is not installed (Debian package libdbd-sybase-perl; ./test.sh installs it)"
    exec timeout 120 /usr/bin/perl "$here/dbd_sybase_client.pl" "$port" "$password" "$version"
    ;;
*)
    echo "unknown client $client" >&2
    exit 2
    ;;
esac
