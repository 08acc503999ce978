#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The sample outputs in README.md (tools/refresh-readme.sh writes them) still have the shape of
# what the tools print: the run's steps and package count, its table of levels, the failure a
# check reports, and the check's header, check names, columns and closing line. Figures that
# change from run to run (timings, counts of blocks) are not compared.
#
#     readme_samples_test.sh SOURCE_DIR VELA_HOST MODULE FAULT_MODULE_FOLDER
set -uo pipefail
source=$1 host=$2 module=$3 faults=$4
source "$(dirname "$0")/cases.sh"
readme=$source/README.md

# The lines of sample $1, without its fences.
sample() {
    sed -n "/^<!-- sample: $1 -->\$/,/^<!-- \\/sample -->\$/p" "$readme" | sed '1,2d;$d' | sed '$d'
}
# Numbers as N, so that only the shape of a line is compared.
shape() {
    sed -E 's/[0-9]+(\.[0-9]+)?/N/g'
}

names=$(sed -nE 's/^<!-- sample: ([a-z]+) -->$/\1/p' "$readme" | sort | tr '\n' ' ')
[ "$names" = "check failure run " ] || fail "the README's samples are [$names], not those this test knows"

# --- run: tools/run.sh's steps, the packages its setup asks for, and the levels it prints ---
run=$(sample run)
count=$(sed -nE 's/.*STEP_COUNT=([0-9]+).*/\1/p' "$source/tools/run.sh")
mapfile -t labels < <(echo packages; sed -nE 's/^ *run_step "([^"]+)".*/\1/p' "$source/tools/run.sh")
mapfile -t steps < <(grep -E '^\[[0-9]+/[0-9]+\] ' <<<"$run")
[ "${#steps[@]}" -eq "$count" ] && [ "${#labels[@]}" -eq "$count" ] ||
    fail "the run sample has ${#steps[@]} steps, tools/run.sh $count with ${#labels[@]} labels"
for i in "${!steps[@]}"; do
    [[ ${steps[i]} == "[$((i + 1))/$count] ${labels[i]:-}: "* ]] ||
        fail "run step $((i + 1)) is '${steps[i]}', tools/run.sh's is '${labels[i]:-}'"
done
packages=$(bash "$source/tools/setup.sh" --demo --list | wc -l)
grep -qx "\[1/$count\] packages: all $packages installed" <<<"$run" ||
    fail "the run sample's packages line does not count the $packages that setup.sh --demo wants"
demo=$scratch/demo
mkdir -p "$demo"
cp "$source/examples/stereo-example.wav" "$demo/input.wav"
"$host" render "$module" "$demo/input.wav" "$demo/switch-off.wav" --param 0=0 >/dev/null &&
    "$host" render "$module" "$demo/input.wav" "$demo/switch-on.wav" --param 0=1 >/dev/null ||
    fail "cannot render the example"
levels=$(cd "$demo" && "$host" levels input.wav switch-off.wav switch-on.wav)
[ "$(sed -n '/^file /,$p' <<<"$run")" = "$levels" ] ||
    fail "the run sample's levels are not what levels prints:
$(sed -n '/^file /,$p' <<<"$run")
$levels"

# --- failure: the same check of the same module with the same seed ---
failure=$(cd "$faults" && "$host" check fault_nan.so --only process --seed 7 | grep -A1 '^FAIL')
[ "$(sample failure)" = "$failure" ] || fail "the failure sample is not what the check prints:
$(sample failure)
$failure"

# --- check: header, every check in order, verdict and detail columns, closing line ---
check=$(sample check)
real=$(cd "$(dirname "$module")" && "$host" check "$(basename "$module")" --strictness 1 --skip-gui --seed 1)
mapfile -t listed < <("$host" check --list | sed -nE 's/^([a-z-]+) .*/\1/p')
mapfile -t shown < <(sed -nE 's/^[A-Z]+ +([a-z-]+) .*/\1/p' <<<"$check")
[ "${shown[*]}" = "${listed[*]}" ] || fail "the check sample shows [${shown[*]}], --list names [${listed[*]}]"
[ "$(sed -n 2p <<<"$check" | sed "s|build/linux/Vela_Button.so|MODULE|" | shape)" = \
    "$(head -n 1 <<<"$real" | sed "s|$(basename "$module")|MODULE|" | shape)" ] ||
    fail "the check sample's header is not the check's: $(sed -n 2p <<<"$check") / $(head -n 1 <<<"$real")"
# Where the name and the detail start, as the tool aligns them.
column() {
    grep -E '^[A-Z]+ +[a-z-]+ +' | head -n 1 | sed -E 's/^([A-Z]+ +)([a-z-]+ +).*/\1|\2/' | awk -F'|' '{print length($1), length($1 $2)}'
}
[ "$(column <<<"$check")" = "$(column <<<"$real")" ] ||
    fail "the check sample's columns are not the check's: $(column <<<"$check") / $(column <<<"$real")"
closing=$(tail -n 1 <<<"$check" | shape)
[[ $(tail -n 1 <<<"$real" | shape) == "$closing"* ]] ||
    fail "the check sample's closing line is not the check's: $(tail -n 1 <<<"$check") / $(tail -n 1 <<<"$real")"

finish "README sample"
