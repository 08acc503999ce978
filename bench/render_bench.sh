#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times vela-host render mixing a generated stereo file to mono (the switch on) against cp of
# the same file and, where installed, sox and ffmpeg doing the same mix, for a 16-bit and a
# 32-bit float WAV. The tools take turns in an order that rotates each round, the input stays
# in the page cache, and each round's render time is divided by each other tool's time in that
# round, so that load from elsewhere on the machine falls on both sides of a ratio. Prints the
# median time of each tool and the median of each ratio.
#
# bench/render_bench.sh [BUILD_DIR] [ROUNDS] [SECONDS]   (default build/linux, 7 rounds, 600 s)
set -euo pipefail
build=${1:-build/linux}
rounds=${2:-7}
seconds=${3:-600}
host="$build/host/vela-host"
module="$build/Vela_Button.so"
if [ ! -x "$host" ] || [ ! -f "$module" ]; then
    echo "render_bench.sh: build vela-host and Vela_Button first ($build)" >&2
    exit 1
fi
command -v sox >/dev/null || { echo "render_bench.sh: the input files are made by sox; install it" >&2; exit 1; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/render-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

tools=(render cp sox)
if command -v ffmpeg >/dev/null; then tools+=(ffmpeg); fi

run() { # TOOL IN OUT CODEC
    case $1 in
    render) "$host" render "$module" "$2" "$3" --param 0=1 >/dev/null ;;
    cp) cp "$2" "$3" ;;
    sox) sox "$2" "$3" remix 1v0.5,2v0.5 1v0.5,2v0.5 ;;
    # ffmpeg writes 16-bit WAV unless told the input's sample format.
    ffmpeg) ffmpeg -nostdin -loglevel error -i "$2" -af 'pan=stereo|c0=0.5*c0+0.5*c1|c1=0.5*c0+0.5*c1' -c:a "$4" "$3" ;;
    esac
}

microseconds() { # TOOL IN CODEC: the wall time of one run, its output removed afterwards
    local out="$scratch/out-$1.wav" started
    started=${EPOCHREALTIME/./}
    run "$1" "$2" "$out" "$3"
    echo $((${EPOCHREALTIME/./} - started))
    rm -f "$out"
}

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() { # LABEL SOX_ENCODING FFMPEG_CODEC
    local input="$scratch/in-$2.wav" round tool
    # shellcheck disable=SC2086 # the encoding is several sox options
    sox -R -n -r 48000 -c 2 $2 "$input" synth "$seconds" pinknoise whitenoise vol 0.5
    cat "$input" >/dev/null
    declare -A times=() ratios=()
    for tool in "${tools[@]}"; do microseconds "$tool" "$input" "$3" >/dev/null; done
    for round in $(seq "$rounds"); do
        declare -A now=()
        local count=${#tools[@]} i
        for ((i = 0; i < count; i++)); do
            tool=${tools[$(((i + round) % count))]}
            now[$tool]=$(microseconds "$tool" "$input" "$3")
            times[$tool]+="${now[$tool]} "
        done
        for tool in "${tools[@]}"; do
            ratios[$tool]+="$(awk -v a="${now[render]}" -v b="${now[$tool]}" 'BEGIN { printf "%.4f", a / b }') "
        done
    done
    printf '%s, %s s, %s bytes, %s rounds\n' "$1" "$seconds" "$(stat -c %s "$input")" "$rounds"
    for tool in "${tools[@]}"; do
        printf '  %-7s median %8.1f ms' "$tool" "$(awk -v u="$(median <<<"${times[$tool]}")" 'BEGIN { print u / 1000 }')"
        if [ "$tool" != render ]; then printf '   render / %s: median %.2f' "$tool" "$(median <<<"${ratios[$tool]}")"; fi
        printf '\n'
    done
    rm -f "$input"
}

measure "16-bit PCM WAV" "-b 16 -e signed-integer" pcm_s16le
measure "32-bit float WAV" "-b 32 -e floating-point" pcm_f32le
