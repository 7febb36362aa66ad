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
