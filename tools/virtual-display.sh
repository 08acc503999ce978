# SPDX-License-Identifier: MIT
# Sourced by the scripts that open windows: starts Xvfb unless DISPLAY names a display that
# answers. The server chooses its display number (-displayfd), so runs with different /tmp
# folders never take one number twice.

start_virtual_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local report number=""
    report=$(mktemp)
    # -noreset: the server would otherwise refuse connections for a moment after its last
    # client leaves, which tests opening one window after another run into.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$report" >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PID=$!
    # The server writes the number and a newline once it takes connections.
    for _ in $(seq 100); do
        if read -r number <"$report" && [[ $number =~ ^[0-9]+$ ]]; then
            break
        fi
        number=""
        kill -0 "$VIRTUAL_DISPLAY_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$report"
    if [ -n "$number" ] && DISPLAY=":$number" xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=":$number"
        return 0
    fi
    echo "virtual display: Xvfb did not start" >&2
    stop_virtual_display
    return 1
}

stop_virtual_display() {
    if [ -n "${VIRTUAL_DISPLAY_PID:-}" ]; then
        kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
        wait "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
        VIRTUAL_DISPLAY_PID=""
    fi
}
