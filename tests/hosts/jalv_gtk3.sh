#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# jalv.gtk3 embeds the bundle's X11 UI on a private virtual display; while ecasound plays the
# test noise through the plug-in on a JACK server, a real click (XTest) on the UI's button turns
# the switch on. Every frame that arrives is exact, and the sound changes at a block start.
source "$(dirname "$0")/hosts.sh"
source "$(dirname "$0")/../../tools/virtual-display.sh"
export LV2_PATH=$LV2_BUNDLES
unset DISPLAY
start_virtual_display
started+=("$VIRTUAL_DISPLAY_PID")
start_jack
start_host jalv jalv.gtk3 -n vela urn:ozmir:vela
wait_until 10 "ports of jalv" jack_has_port vela:out_right

# The UI's own window, 256x96, nameless class, inside jalv's: its place on the screen.
editor_place() {
    xwininfo -root -tree | grep -oE '"Vela": \(\)  256x96[-+0-9]+  \+[0-9]+\+[0-9]+' | grep -oE '[0-9]+\+[0-9]+$'
}
wait_until 10 "embedded UI" editor_place
place=$(editor_place)
while_playing xdotool mousemove $((${place%+*} + 128)) $((${place#*+} + 40)) click 1
play_through_jalv "$work/output.wav"
compare "$work/output.wav" off-then-on --block 1024 --live
