# SPDX-License-Identifier: MIT
# Sourced by the scripts that open windows: starts Xvfb on a free display unless one is set.

start_virtual_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return
    fi
    local number=90
    while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
        number=$((number + 1))
    done
    # -noreset: the server would otherwise refuse connections for a moment after its last
    # client leaves, which tests opening one window after another run into.
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return
        sleep 0.1
    done
    echo "virtual display: Xvfb did not start" >&2
}

stop_virtual_display() {
    if [ -n "${VIRTUAL_DISPLAY_PID:-}" ]; then
        kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
        wait "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
    fi
}
