# SPDX-License-Identifier: MIT
# Sourced by the host tests: a scratch folder with the test noise, hosts and servers run with
# their output in logs there, and the comparison of what a host gave back. Anything started is
# stopped at exit, and a failed test prints every log. Nothing is tried twice.
#
# From the environment (CTest sets them): HOST_AUDIO, the vela_host_audio tool; LV2_BUNDLES, a
# folder holding vela.lv2; VST_MODULE, a Linux VST 2 module file.
set -euo pipefail
work=$(mktemp -d)
started=()
input=$work/input.wav
"$HOST_AUDIO" make "$input"

finish_hosts() {
    local status=$? pid
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        for log in "$work"/*.log; do
            [ -e "$log" ] && printf -- '--- %s\n%s\n' "${log##*/}" "$(tail -n 40 "$log")"
        done
    fi
    rm -rf "$work"
    exit "$status"
}
trap finish_hosts EXIT

# run_host SECONDS NAME COMMAND...: runs a host to its end, output in NAME.log; a crash, an
# error status or a run past SECONDS fails the test.
run_host() {
    local seconds=$1 name=$2 status=0
    shift 2
    timeout -k 5 "$seconds" "$@" >"$work/$name.log" 2>&1 </dev/null || status=$?
    if [ "$status" -eq 124 ]; then
        echo "FAIL $name did not end within $seconds s"
        exit 1
    elif [ "$status" -ne 0 ]; then
        echo "FAIL $name ended with status $status"
        exit 1
    fi
}

# start_host NAME COMMAND...: starts a server or host in the background with the caller's
# standard input, output in NAME.log, stopped at exit.
start_host() {
    local name=$1
    shift
    "$@" <&0 >"$work/$name.log" 2>&1 &
    started+=($!)
}

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails the test after SECONDS,
# or as soon as one of the started processes has ended.
wait_until() {
    local seconds=$1 what=$2 pid
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" >/dev/null 2>&1 && return 0
        for pid in "${started[@]}"; do
            kill -0 "$pid" 2>/dev/null || {
                echo "FAIL a host or server ended while waiting for $what"
                exit 1
            }
        done
        sleep 0.1
    done
    echo "FAIL no $what within $seconds s"
    exit 1
}

# compare OUTPUT MODE [OPTION...]: vela_host_audio's verdict on OUTPUT against the test noise.
compare() {
    local output=$1
    shift
    "$HOST_AUDIO" compare "$input" "$output" "$@" || exit 1
}

# A JACK server of this test's own with the dummy driver (no sound card), at 1024-frame blocks.
start_jack() {
    export JACK_DEFAULT_SERVER=vela-hosts-$$ JACK_NO_AUDIO_RESERVATION=1
    start_host jackd jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 1024
    wait_until 10 "JACK server" jack_lsp
}

# jack_has_port PORT: whether the JACK server lists PORT.
jack_has_port() {
    jack_lsp | grep -qxF "$1"
}

# play_through_jalv OUTPUT: ecasound plays the test noise into jalv's client "vela" on the JACK
# server and records what comes out to OUTPUT, for 3 s.
play_through_jalv() {
    run_host 20 ecasound ecasound -q -f:f32_le,2,48000 -G:jack,ecasound,notransport \
        -a:play -i "$input" -o:jack_multi,vela:in_left,vela:in_right \
        -a:record -i:jack_multi,vela:out_left,vela:out_right -o "$1" -t:3
}

# while_playing COMMAND...: runs COMMAND in the background once ecasound has played for a second.
while_playing() {
    (wait_until 10 "ecasound's ports" jack_has_port ecasound:out_1 && sleep 1 && "$@") &
}
