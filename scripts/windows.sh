#!/usr/bin/env bash
# Builds Rowlark for 64-bit Windows on Debian 12 and tests it under Wine: installs what is missing,
# builds Qt for Windows once into a cache outside the tree (about 30 minutes on two cores; later
# runs reuse it), cross-builds rowlark.exe and rowlark-dedupe.exe, packs them as
# build-windows/rowlark-VERSION-win64.zip and an installer beside it, and runs the Wine tests
# against the sandbox.
#   --no-tests      stop after the packages
#   --if-qt-ready   do nothing (and say so) unless Qt for Windows is already built; no tests
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/windows/common.sh

tests=1
only_if_ready=0
for a in "$@"; do
    case $a in
    --no-tests) tests=0 ;;
    --if-qt-ready) only_if_ready=1 tests=0 ;;
    -h | --help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
    esac
done

if [ "$only_if_ready" = 1 ] && ! cross_qt_ready; then
    echo "SKIPPED: the Windows programs and their Wine tests (Qt for Windows is not built here;" \
        "scripts/windows.sh builds it once, in about 30 minutes)"
    exit 0
fi

started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }
ensure_packages "${ROWLARK_WINDOWS_PACKAGES[@]}"
scripts/windows/build_qt.sh

build=build-windows
mkdir -p "$build"
echo "Building rowlark.exe and rowlark-dedupe.exe (log: $build/build.log)"
cmake -G Ninja -S . -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/scripts/windows/mingw.cmake" \
    -DROWLARK_QT_MINGW="$ROWLARK_QT_MINGW" -DCMAKE_PREFIX_PATH="$ROWLARK_QT_MINGW" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release > "$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --parallel "$(nproc)" > "$build/build.log" 2>&1 ||
    { grep -E 'error|warning' "$build/build.log" | head -40 >&2; echo "The Windows build failed; log: $build/build.log" >&2; exit 1; }
grep -E 'warning:' "$build/build.log" | sort -u | head -20 || true
# The folder the programs run from in the tests: what the zip holds.
rm -rf "$build/stage"
cmake --install "$build" --prefix "$build/stage" > /dev/null
echo "Packing the zip and the installer"
(cd "$build" && cpack -G ZIP > cpack.log 2>&1 && cpack -G NSIS >> cpack.log 2>&1) ||
    { cat "$build/cpack.log" >&2; echo "Packing failed" >&2; exit 1; }
version=$(sed -n 's/^project(Rowlark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
ls -l "$build/rowlark-$version-win64.zip" "$build/rowlark-$version-win64.exe" | awk '{ print "  " $NF " (" $5 " bytes)" }'
echo "Windows programs ready after $(elapsed)"
[ "$tests" = 1 ] || exit 0

echo "Running the Wine tests against the sandbox"
mkdir -p build
ROWLARK_TARGETS="rowlark-sandbox close_probe" configure_and_build build -DROWLARK_WINDOWS_BUILD="$PWD/$build"
ctest --test-dir build --output-on-failure -L windows --timeout 600
echo "Built, packed and tested under Wine in $(elapsed)"
