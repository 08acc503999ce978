#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Shows Vela doing its job: installs what the demo needs, builds the Linux module and vela-host
# (nothing else), plays the stereo example through the module with the switch off and on,
# prints each output channel's level and the channels' correlation, and saves the editor as it
# looks in both states. Everything it makes goes under build/: the demo's files in build/demo/,
# the whole output of every step in build/logs/run.log, which --verbose also shows as it comes.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --verbose ]; then
    export STEP_VERBOSE=1
fi
root=$PWD
mkdir -p build/logs
export STEP_LOG=$root/build/logs/run.log STEP_COUNT=5 STEP_NUMBER=0
: >"$STEP_LOG"

bash tools/setup.sh --demo
STEP_NUMBER=1
source tools/steps.sh

run_step "configure the linux preset" cmake --preset linux
run_step "build Vela_Button.so and vela-host" cmake --build --preset linux -j2 --target Vela_Button vela-host

host=$root/build/linux/host/vela-host
module=$root/build/linux/Vela_Button.so
demo=$root/build/demo
mkdir -p "$demo"
cp examples/stereo-example.wav "$demo/input.wav"

play_both() {
    "$host" render "$module" "$demo/input.wav" "$demo/switch-off.wav" --param 0=0 &&
        "$host" render "$module" "$demo/input.wav" "$demo/switch-on.wav" --param 0=1
}
run_step "play examples/stereo-example.wav through Vela, switch off and on" play_both

# On a private display of the tool's own, so that no real pointer is moved.
snapshot_both() {
    env -u DISPLAY "$host" snapshot "$module" "$demo/editor-off.png" &&
        env -u DISPLAY "$host" snapshot "$module" "$demo/editor-on.png" --click 128,40
}
run_step "save the editor, off and after a click on its button" snapshot_both

echo
echo "The example (a chord on the left, a tone and noise on the right), and what Vela made of it:"
(cd "$demo" && "$host" levels input.wav switch-off.wav switch-on.wav)
echo "Switch off: each channel passes as it came. Switch on: both channels carry the mean of"
echo "left and right, one signal twice (correlation 1.000)."
echo
echo "Files:"
echo "  $demo/switch-off.wav, $demo/switch-on.wav"
echo "  $demo/editor-off.png, $demo/editor-on.png"
echo "  $module, $host"
echo "  $STEP_LOG (the whole output of every step)"
