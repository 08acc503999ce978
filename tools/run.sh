#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds every preset, and shows Vela doing its job: the stereo example played
# through the built Linux module with the switch off and on, each output channel's level and
# the channels' correlation, and the editor as it looks in both states.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

for preset in linux linux-sanitize linux-tsan win64 win32; do
    echo "=== building $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
done

host=build/linux/host/vela-host
module=build/linux/Vela_Button.so
demo=build/demo
mkdir -p "$demo" docs
cp examples/stereo-example.wav "$demo/input.wav"

echo
echo "=== Vela on examples/stereo-example.wav (a chord on the left, a tone and noise on the right)"
"$host" render "$module" "$demo/input.wav" "$demo/switch-off.wav" --param 0=0 >/dev/null
"$host" render "$module" "$demo/input.wav" "$demo/switch-on.wav" --param 0=1 >/dev/null
(cd "$demo" && "../../$host" levels input.wav switch-off.wav switch-on.wav)
echo "Switch off: each channel passes as it came. Switch on: both channels carry the mean of"
echo "left and right, one signal twice (correlation 1.000)."

echo
echo "=== the editor, off and after a click on its button"
# A private display of the tool's own, so that no real pointer is moved.
env -u DISPLAY "$host" snapshot "$module" "$demo/editor-off.png"
env -u DISPLAY "$host" snapshot "$module" "$demo/editor-on.png" --click 128,40
cp "$demo/editor-off.png" "$demo/editor-on.png" docs/
echo
echo "Audio and pictures are in $demo/; the pictures also in docs/ for the README."
