#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A private PipeWire daemon with WirePlumber loads the filter-chain configuration from README.md
# (the whole desktop in mono) beside a silent sound card of the test's own. pw-play plays the test
# noise to "Vela mono", pw-record records the card; then the switch is turned off through the
# node's controls and the round trip repeats. Without real-time priority a loaded machine drops
# quanta, so only frames that arrive are compared, each exactly.
source "$(dirname "$0")/hosts.sh"
export LV2_PATH=$LV2_BUNDLES XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work
config=$XDG_CONFIG_HOME/pipewire/pipewire.conf.d
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$config"
sed -n '/^context.modules = \[/,/^\]/p' "$(dirname "$0")/../../README.md" >"$config/vela-mono.conf"
grep -q 'urn:ozmir:vela' "$config/vela-mono.conf" || {
    echo "FAIL README.md holds no filter-chain configuration"
    exit 1
}
# The sound card, preferred to "Vela mono" as the default output, as a real card would be.
cat >"$config/speakers.conf" <<'CONF'
context.objects = [
    {   factory = adapter
        args = {
            factory.name     = support.null-audio-sink
            node.name        = speakers
            media.class      = Audio/Sink
            audio.position   = [ FL FR ]
            priority.session = 3000
            priority.driver  = 3000
        }
    }
]
CONF

# WirePlumber needs a session bus.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
start_host dbus dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
wait_until 10 "session bus" test -S "$XDG_RUNTIME_DIR/bus"
start_host pipewire pipewire
wait_until 10 "PipeWire" pw-cli info 0
start_host wireplumber wireplumber
filter_linked() {
    pw-link -l | grep -qF -- '-> speakers:playback_FR'
}
wait_until 10 "filter-chain linked to the sound card" filter_linked

for state in on off; do
    [ "$state" = off ] && run_host 10 pw-cli pw-cli set-param effect_input.vela_mono Props '{ params = [ "vela:switch" 0.0 ] }'
    start_host "pw-record-$state" pw-record --target speakers -P '{ stream.capture.sink = true }' \
        --format f32 --rate 48000 --channels 2 "$work/$state.wav"
    recorder=${started[-1]}
    sleep 0.5
    run_host 20 "pw-play-$state" pw-play --target effect_input.vela_mono "$input"
    sleep 0.5
    kill -INT "$recorder"
    wait "$recorder" || true
    compare "$work/$state.wav" "$state" --live
done
