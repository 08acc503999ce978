#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the release archive build/linux/Vela-VERSION.zip: the three modules (Linux, 64-bit and
# 32-bit Windows), this README and the licence; builds only the Vela_Button target of the linux,
# win64 and win32 presets, then the package target. Then the Debian package
# build/linux/vela_VERSION-1_amd64.deb, checked by lintian. The whole output is in
# build/logs/package.log.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/logs
export STEP_LOG=$PWD/build/logs/package.log STEP_COUNT=6 STEP_NUMBER=0
: >"$STEP_LOG"

bash tools/setup.sh
STEP_NUMBER=1
source tools/steps.sh

for preset in linux win64 win32; do
    build_module() {
        cmake --preset "$preset" && cmake --build --preset "$preset" -j2 --target Vela_Button
    }
    run_step "build the $preset module" build_module
done
run_step "make the archive" cmake --build --preset linux --target package
run_step "make the Debian package and check it with lintian" cmake --build --preset linux --target deb
ls build/linux/Vela-*.zip build/linux/vela_*.deb
