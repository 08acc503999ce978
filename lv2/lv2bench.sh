#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures run() with Debian's lv2bench at 1,024-frame blocks: the built bundle with the switch
# off and on, against x42's Stereo Routing (installed by tools/setup.sh, at its default
# equal-power downmix), in turns in the same run. lv2bench runs every plug-in with its ports at
# their defaults, so "on" is a copy of the bundle whose switch defaults to on.
#
# lv2/lv2bench.sh [BUILD_DIR] [ROUNDS]     (default build/linux, 9 rounds; prints the medians)
set -euo pipefail
build=${1:-build/linux}
rounds=${2:-9}
frames=$((1024 * 20000))
bundle="$build/lv2-bundles/vela.lv2"
[ -f "$bundle/vela.so" ] || { echo "lv2bench.sh: build the bundle first ($bundle)" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/off" "$scratch/on"
cp -r "$bundle" "$scratch/off/"
cp -r "$bundle" "$scratch/on/"
sed -i 's/lv2:default 0 ;/lv2:default 1 ;/' "$scratch/on/vela.lv2/vela.ttl"
grep -q 'lv2:default 1 ;' "$scratch/on/vela.lv2/vela.ttl"
uri=$(LV2_PATH="$scratch/off" lv2ls | head -n 1)
x42=http://gareus.org/oss/lv2/stereoroute

measure() { # LV2_PATH URI: seconds for all frames
    LV2_PATH="$1" lv2bench -b 1024 -n "$frames" "$2" 2>/dev/null | awk -v uri="$2" '$2 == uri { print $1 }'
}
declare -A times
for _ in $(seq "$rounds"); do
    times[off]+="$(measure "$scratch/off:/usr/lib/lv2" "$uri") "
    times[on]+="$(measure "$scratch/on:/usr/lib/lv2" "$uri") "
    times[x42]+="$(measure /usr/lib/lv2 "$x42") "
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
blocks=$((frames / 1024))
for name in off on x42; do
    seconds=$(median <<<"${times[$name]}")
    label="Vela, switch $name"
    [ "$name" = x42 ] && label="x42 Stereo Routing"
    awk -v s="$seconds" -v b="$blocks" -v l="$label" \
        'BEGIN { printf "%-22s %9.6f s for %d blocks, %7.1f ns per 1,024-frame run()\n", l, s, b, s / b * 1e9 }'
done
