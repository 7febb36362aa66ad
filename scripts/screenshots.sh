#!/usr/bin/env bash
# Retakes the README's screenshots: the demo in a virtual X display, driven with xdotool, each
# page captured with ImageMagick's import. Needs a build (./run.sh makes one); installs Xvfb,
# xdotool, imagemagick and the fonts the demo's text needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
ensure_packages imagemagick "${ROWLARK_DESKTOP_PACKAGES[@]}"
out=docs/screenshots
Xvfb :77 -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
run=""
trap 'kill $run $xvfb 2> /dev/null || true' EXIT
export DISPLAY=:77
sleep 1
ROWLARK_SKIP_BUILD=1 ROWLARK_RUN_DIR=$(mktemp -d) ./run.sh > /dev/null 2>&1 &
run=$!
page() {
    for _ in $(seq 200); do
        for w in $(xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null); do
            [ "$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')" = "$1" ] && { echo "$w"; return; }
        done
        sleep 0.1
    done
    return 1
}
shot() { sleep 0.5; import -window "$1" "$out/$2.png"; }
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.5; }
table=$(page 536x173)
click "$table" 40 36
shot "$table" table-page
click "$table" 136 153                          # < Back
login=$(page 536x264)
xdotool windowmove "$table" 480 600        # the table page stays open behind: out of the way
shot "$login" connection-page
click "$login" 264 242                          # Next >
table=$(page 536x173)
click "$table" 40 36
click "$table" 400 153                          # Next >
fields=$(page 392x339)
xdotool mousemove --window "$fields" 30 167 click --repeat 2 --delay 100 1
sleep 0.3
xdotool mousemove --window "$fields" 30 167 click --repeat 2 --delay 100 1
shot "$fields" field-page
click "$fields" 292 317                         # Next >
finish=$(page 536x268)
click "$finish" 400 247                         # Finish
sleep 2
shot "$finish" finish-page
