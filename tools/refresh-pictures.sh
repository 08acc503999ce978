#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Saves the editor, off and after a click on its button, as the README's pictures
# docs/editor-off.png and docs/editor-on.png. A deliberate step: tools/run.sh writes only under
# build/. Builds the Linux module and vela-host first when they are out of date.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mkdir -p build/logs
export STEP_LOG=$root/build/logs/refresh-pictures.log STEP_COUNT=3 STEP_NUMBER=0
: >"$STEP_LOG"
source tools/steps.sh

host=$root/build/linux/host/vela-host
module=$root/build/linux/Vela_Button.so

run_step "configure the linux preset" cmake --preset linux
run_step "build Vela_Button.so and vela-host" cmake --build --preset linux -j2 --target Vela_Button vela-host
# On a private display of the tool's own, so that no real pointer is moved.
snapshot_both() {
    env -u DISPLAY "$host" snapshot "$module" docs/editor-off.png &&
        env -u DISPLAY "$host" snapshot "$module" docs/editor-on.png --click 128,40
}
run_step "save the editor into docs/editor-off.png and docs/editor-on.png" snapshot_both
git status --short docs/
