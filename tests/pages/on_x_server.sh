#!/usr/bin/env bash
# Runs a page test program on a real X server (a private Xvfb) instead of the offscreen platform,
# which activates every window it shows: what a test there says of the active window then holds
# for a desktop. Skipped (77) where Xvfb or xdotool is missing.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: on_x_server.sh PROGRAM [ARGUMENTS...]" >&2; exit 2; }
command -v Xvfb > /dev/null && command -v xdotool > /dev/null || { echo "Xvfb or xdotool missing: skipped"; exit 77; }
source "$(dirname "$0")/../support/x_display.sh"
trap '[ -n "${xvfb:-}" ] && kill "$xvfb" 2> /dev/null' EXIT
start_xvfb 200 229 || { echo "FAIL: no display could be started" >&2; exit 1; }
# In a sanitizer build: Qt's X platform leaves the D-Bus library's own allocations behind.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/../support" && pwd)/lsan_x_server.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
QT_QPA_PLATFORM=xcb "$@"
