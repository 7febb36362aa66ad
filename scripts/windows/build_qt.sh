#!/usr/bin/env bash
# Builds Qt's Core, Gui and Widgets for 64-bit Windows from Debian's own source package, once, into
# the cache folder. Expects the packages of ROWLARK_WINDOWS_PACKAGES and qt6-base-dev (the host's
# moc, rcc and uic drive the cross build).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

cache=$ROWLARK_WINDOWS_CACHE
prefix=$ROWLARK_QT_MINGW
if [ -f "$prefix/.rowlark-complete" ]; then
    echo "Qt $ROWLARK_QT_VERSION for Windows: reusing $prefix"
    exit 0
fi
mkdir -p "$cache/apt/parts" "$cache/apt/lists/partial" "$cache/src"
log=$cache/qt-build.log
: > "$log"

src=$cache/src/qtbase-everywhere-src-$ROWLARK_QT_VERSION
if [ ! -f "$src/CMakeLists.txt" ]; then
    if ! ls "$cache"/src/qt6-base_"$ROWLARK_QT_VERSION"*.orig.tar.xz > /dev/null 2>&1; then
        echo "Fetching Qt $ROWLARK_QT_VERSION's source (Debian package qt6-base, about 46 MB)"
        # A private deb-src entry: the machine's own sources stay as they are.
        sources=/etc/apt/sources.list.d/debian.sources
        if [ -f "$sources" ]; then
            sed 's/^Types: deb$/Types: deb-src/' "$sources" > "$cache/apt/parts/src.sources"
        else
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > "$cache/apt/parts/src.list"
        fi
        opts=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$cache/apt/parts"
            -o Dir::State::Lists="$cache/apt/lists" -o APT::Sandbox::User=root)
        apt-get "${opts[@]}" -qq update >> "$log" 2>&1
        (cd "$cache/src" && apt-get "${opts[@]}" -qq source --download-only qt6-base >> "$log" 2>&1)
    fi
    echo "Unpacking the source"
    tar -C "$cache/src" -xf "$cache"/src/qt6-base_"$ROWLARK_QT_VERSION"*.orig.tar.xz
fi

qt_build=$cache/qt-build
echo "Configuring Qt for Windows (about a minute; log: $log)"
# Only what the programs use: no SQL, network, D-Bus, XML or printing; no tablet input, because
# Debian's source leaves out the headers it needs. OpenGL (loaded at run time) and Direct2D stay
# on: without either, this version's Windows platform plugin does not compile or link.
cmake -G Ninja -S "$src" -B "$qt_build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=ON >> "$log" 2>&1 ||
    { tail -40 "$log" >&2; echo "Configuring Qt failed; the whole log is $log" >&2; exit 1; }

echo "Building Qt for Windows: about 25 minutes on two cores, once per machine"
start=$(date +%s)
# Ninja's [done/total] lines, one in fifty, so that a long build shows it is alive.
NINJA_STATUS='[%f/%t] ' cmake --build "$qt_build" --parallel "$(nproc)" 2>&1 | tee -a "$log" |
    awk '/^\[[0-9]+\/[0-9]+\]/ { gsub(/[][]/, "", $1); split($1, p, "/"); if (p[1] % 50 == 0 || p[1] == p[2]) { printf "  %s of %s steps\n", p[1], p[2]; fflush() } }'
[ "${PIPESTATUS[0]}" -eq 0 ] || { grep -E 'error|FAILED' "$log" | tail -20 >&2; echo "Building Qt failed; log: $log" >&2; exit 1; }
cmake --install "$qt_build" >> "$log" 2>&1
touch "$prefix/.rowlark-complete"
echo "Qt for Windows is in $prefix ($(( ($(date +%s) - start) / 60 )) minutes)"
