#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# jalv hosts the LV2 bundle on a JACK server with the dummy driver; ecasound plays the test noise
# into it and records what comes out, while the switch is turned on through jalv's console
# mid-stream. Every frame that arrives is exact, off before the change and on after it, and the
# change takes effect at the start of a JACK block.
source "$(dirname "$0")/hosts.sh"
export LV2_PATH=$LV2_BUNDLES
start_jack

# jalv quits at the end of its input: the control channel stays open for the whole test.
mkfifo "$work/control"
exec 3<>"$work/control"
start_host jalv jalv -n vela urn:ozmir:vela <&3
wait_until 10 "ports of jalv" jack_has_port vela:out_right
while_playing echo "switch = 1" >&3
play_through_jalv "$work/output.wav"
compare "$work/output.wav" off-then-on --block 1024 --live
