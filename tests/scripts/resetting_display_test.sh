#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The window tests on an X server that resets whenever its last client leaves, as a plain
# "Xvfb :N" or xvfb-run's does: every program, started one after another, must find the
# display, and a host showing one editor after another must keep it while it runs.
#
#     resetting_display_test.sh VELA_SOAK MODULE VELA_HOST UNIT_TESTS MODULE_TESTS LV2_TESTS
set -uo pipefail
soak=$1 module=$2 host=$3 unit_tests=$4 module_tests=$5 lv2_tests=$6
source "$(dirname "$0")/cases.sh"

# No -noreset and no -terminate: the server resets each time it has no client left.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/number" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do
    read -r number <"$scratch/number" 2>/dev/null && [[ $number =~ ^[0-9]+$ ]] && break
    sleep 0.1
done
[[ ${number:-} =~ ^[0-9]+$ ]] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$number

# Each case: a name and a command; every one runs on the display DISPLAY names, right after the
# one before it left. Without Xvfb on the path, no program can turn to a private server instead.
cases=(
    "editors opened and closed by one host" "$soak editor $module 20"
    "the X11 unit tests" "$unit_tests --gtest_filter=ButtonEditorX11.*:X11WindowSystemTest.*"
    "the editor window tests" "$module_tests --gtest_filter=VelaModule.Editor*:Modules/EditorWindowWithEditor.*"
    "the LV2 UI tests" "$lv2_tests --gtest_filter=Lv2UiX11.*"
    "a snapshot" "$host snapshot $module $scratch/off.png"
    "another snapshot" "$host snapshot $module $scratch/on.png --click 128,40"
    "the editor check" "$host check $module --only editor --strictness 1 --seed 1"
)
for ((i = 0; i < ${#cases[@]}; i += 2)); do
    out=$(env PATH=/nonexistent ${cases[i + 1]} 2>&1) || fail "${cases[i]}: $out"
    [[ $out =~ \[\ \ SKIPPED\ \] ]] && fail "${cases[i]} skipped: $out"
done

finish "resetting display"
