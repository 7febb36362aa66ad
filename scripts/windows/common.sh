# Shared by scripts/windows.sh and test.sh: where the cross-built Qt lives and whether it is ready.
# shellcheck shell=bash

ROWLARK_QT_VERSION=6.4.2
ROWLARK_WINDOWS_PACKAGES=(mingw-w64 wine64 wine nsis ninja-build xvfb xdotool)
# Outside the tree, so that clean clones and `git clean` keep it: the build takes half an hour.
ROWLARK_WINDOWS_CACHE=${ROWLARK_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rowlark-windows}
ROWLARK_QT_MINGW=$ROWLARK_WINDOWS_CACHE/qt-$ROWLARK_QT_VERSION-mingw

# True when a finished cross Qt is in the cache (the stamp is written after its install).
cross_qt_ready() {
    [ -f "$ROWLARK_QT_MINGW/.rowlark-complete" ] && command -v x86_64-w64-mingw32-g++-posix > /dev/null &&
        command -v wine > /dev/null
}
