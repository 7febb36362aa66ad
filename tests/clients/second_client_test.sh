#!/usr/bin/env bash
# Runs the second client (tedious) against the suite's sandbox at one TDS version.
#   second_client_test.sh SANDBOX_DIR TDS_VERSION
set -uo pipefail
dir=${1:?usage: second_client_test.sh SANDBOX_DIR TDS_VERSION}
version=${2:?}
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node > /dev/null; then
    echo "SKIPPED: Node.js is not installed, so the second client (tedious) cannot run"
    exit 77
fi
if [ ! -d "$here/node_modules/tedious" ]; then
    echo "SKIPPED: tedious is not installed; ./test.sh installs it (npm ci in tests/clients)"
    exit 77
fi
exec timeout 120 node "$here/second_client.js" "$(cat "$dir/port")" 'Rowlark;Test{1' master "$version"
