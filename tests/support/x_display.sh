# Shared by the tests that drive the wizard on a real X server: a private Xvfb display, and the
# wizard's page found by its window size.
# shellcheck shell=bash

# Starts Xvfb on the first free display numbered FIRST..LAST, waits until it answers (a loaded
# machine may take a while), exports DISPLAY and sets xvfb to its process; returns 1 if none starts.
start_xvfb() {
    local n display=""
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp > /dev/null 2>&1 &
        xvfb=$!
        for _ in $(seq 100); do
            DISPLAY=":$n" xdotool getdisplaygeometry > /dev/null 2>&1 && { display=":$n"; break; }
            kill -0 "$xvfb" 2> /dev/null || break
            sleep 0.1
        done
        [ -n "$display" ] && break
    done
    [ -n "$display" ] || return 1
    export DISPLAY=$display
}

# The one visible window titled Rowlark whose size is SIZE (patient: the machine may be busy);
# prints its id.
page() {
    for _ in $(seq 300); do
        for w in $(xdotool search --onlyvisible --name '^Rowlark$' 2> /dev/null); do
            size=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')
            [ "$size" = "$1" ] && { echo "$w"; return 0; }
        done
        sleep 0.1
    done
    return 1
}

# Clicks the finish page's button at X Y of WINDOW until the program PID has ended, for up to
# 10 s; returns 1 if it has not. The server's tables may show the new table a moment before
# the page has finished its job (the work tables are still being dropped); a click meanwhile is
# one the page ignores by design, and a user would click again.
click_exit() {
    local window=$1 x=$2 y=$3 pid=$4
    for _ in $(seq 4); do
        xdotool mousemove --window "$window" "$x" "$y" click 1 2> /dev/null
        for _ in $(seq 25); do
            kill -0 "$pid" 2> /dev/null || return 0
            sleep 0.1
        done
    done
    ! kill -0 "$pid" 2> /dev/null
}
