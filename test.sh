#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (ctest). --sanitize builds with
# AddressSanitizer and UndefinedBehaviorSanitizer in a build folder of its own.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

build=build
options=()
for a in "$@"; do
    case $a in
    --sanitize) build=build-sanitize options+=(-DROWLARK_SANITIZE=ON -DROWLARK_BUILD_BENCH=OFF) ;;
    -h | --help) echo "usage: ./test.sh [--sanitize]"; exit 0 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
    esac
done

ensure_packages
ensure_optional_packages "${ROWLARK_CLIENT_PACKAGES[@]}"
# The client from npm the sandbox is tested against (tedious), at the version the lock file pins.
if command -v npm > /dev/null && command -v node > /dev/null; then
    if [ ! -d tests/clients/node_modules ] ||
        [ tests/clients/package-lock.json -nt tests/clients/node_modules ]; then
        (cd tests/clients && npm ci --no-audit --no-fund --loglevel=error > /dev/null) ||
            echo "warning: npm ci in tests/clients failed; the tedious client tests will be skipped" >&2
    fi
else
    echo "note: no Node.js here; the tedious client tests will be skipped" >&2
fi
# The Windows programs and their Wine tests join the suite once Qt for Windows has been built here
# (scripts/windows.sh does that once); otherwise one SKIPPED line says why.
if [ "$build" = build ]; then
    source scripts/windows/common.sh
    scripts/windows.sh --if-qt-ready
    if cross_qt_ready; then
        options+=(-DROWLARK_WINDOWS_BUILD="$PWD/build-windows")
    else
        options+=(-DROWLARK_WINDOWS_BUILD=)
    fi
fi
mkdir -p "$build"
configure_and_build "$build" "${options[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure --parallel 2 --timeout 300
