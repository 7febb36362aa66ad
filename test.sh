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
mkdir -p "$build"
configure_and_build "$build" "${options[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure --parallel 2 --timeout 300
