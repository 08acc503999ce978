#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tools/steps.sh as the scripts use it: one line per step, the output in the log only, a
# failure named in one line with the log's path, and run_step ending the script there.
set -uo pipefail
steps=$(cd "$(dirname "$0")/../../tools" && pwd)/steps.sh
source "$(dirname "$0")/cases.sh"

# Runs a script of steps; leaves its output in $out, its log in $log, its status in $status.
run_script() {
    log=$scratch/log
    : >"$log"
    out=$(env -u STEP_NUMBER -u STEP_VERBOSE STEP_LOG="$log" STEP_COUNT=3 bash -c "set -euo pipefail; source '$steps'; $1" 2>&1)
    status=$?
}

# Each case: a name, a script, the status it must end with, a pattern its output must match
# and one it must not (empty: no check).
cases=(
    "a passing step prints one line and keeps its output in the log"
    "run_step quiet echo chatter"
    0 '^\[1/3\] quiet: done in [0-9]+ s$' 'chatter'

    "a failing step names itself and the log in one line, and nothing runs after run_step"
    "run_step first true; run_step second sh -c 'echo broken; exit 3'; run_step third echo never"
    1 '^\[1/3\] first: done in [0-9]+ s
\[2/3\] second: failed \(exit status 3\); the whole output is in .*/log$' 'third|broken'

    "step answers the command's status, not the filter's, and the script goes on"
    "step one false || echo \"went on after \$?\""
    0 'one: failed \(exit status 1\).*
went on after 1$' ''

    "STEP_VERBOSE shows the output as well"
    "STEP_VERBOSE=1; run_step loud echo chatter"
    0 '^chatter
\[1/3\] loud: done' ''
)

for ((i = 0; i < ${#cases[@]}; i += 5)); do
    name=${cases[i]}
    run_script "${cases[i + 1]}"
    [ "$status" -eq "${cases[i + 2]}" ] || fail "$name: status $status, not ${cases[i + 2]}"
    [[ $out =~ ${cases[i + 3]} ]] || fail "$name: output was: $out"
    if [ -n "${cases[i + 4]}" ] && [[ $out =~ ${cases[i + 4]} ]]; then
        fail "$name: output has /${cases[i + 4]}/: $out"
    fi
done

# The log holds every step's whole output under its heading.
run_script "run_step first echo one-output; step second sh -c 'echo two-output; false' || true"
grep -qx '=== \[1/3\] first' "$log" && grep -qx 'one-output' "$log" && grep -qx 'two-output' "$log" ||
    fail "the log lacks a step's heading or output: $(cat "$log")"

finish "step"
