#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# ecasound renders the test noise through the LV2 bundle, switch off and on: every frame exact.
source "$(dirname "$0")/hosts.sh"
export LV2_PATH=$LV2_BUNDLES
for state in off on; do
    value=0
    [ "$state" = on ] && value=1
    run_host 30 "ecasound-$state" ecasound -q -f:f32_le,2,48000 -i "$input" -elv2:urn:ozmir:vela,$value \
        -o "$work/$state.wav"
    compare "$work/$state.wav" "$state"
done
