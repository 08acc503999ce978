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
# The switch turns on once ecasound has played for a while.
(wait_until 10 "ecasound's ports" jack_has_port ecasound:out_1 && sleep 1 && echo "switch = 1" >&3) &
run_host 20 ecasound ecasound -q -f:f32_le,2,48000 -G:jack,ecasound,notransport \
    -a:play -i "$input" -o:jack_multi,vela:in_left,vela:in_right \
    -a:record -i:jack_multi,vela:out_left,vela:out_right -o "$work/output.wav" -t:3
compare "$work/output.wav" off-then-on --block 1024 --live
