# SPDX-License-Identifier: MIT
# Sourced by the scripts: runs each step quietly with its whole output appended to STEP_LOG and
# prints one line per step, "[N/COUNT] what: done in S s". On a terminal that line follows a
# build's progress as it goes. A failed step says so on its line and names the log; run_step
# then ends the script. The calling script sets STEP_LOG and STEP_COUNT; STEP_NUMBER counts on from 0.

STEP_NUMBER=${STEP_NUMBER:-0}
# A step's status is its command's, not that of the filter after it. A step made of several
# commands must chain them with &&: errexit does not apply inside a step.
set -o pipefail

# Copies a step's output into the log and, on a terminal, shows how far a build or a test run
# has come: ninja's "[done/total]", ctest's "done/total Test".
step_progress() {
    local prefix=$1 line
    while IFS= read -r line; do
        printf '%s\n' "$line" >>"$STEP_LOG"
        if [ "${STEP_VERBOSE:-0}" = 1 ]; then
            printf '%s\n' "$line"
        elif [ -t 1 ] && [[ $line =~ ^\[([0-9]+)/([0-9]+)\]|^\ *([0-9]+)/([0-9]+)\ Test ]]; then
            printf '\r\033[K%s: %s/%s' "$prefix" "${BASH_REMATCH[1]}${BASH_REMATCH[3]}" \
                "${BASH_REMATCH[2]}${BASH_REMATCH[4]}"
        fi
    done
}

# step LABEL COMMAND [ARGUMENT...]: runs the step and prints its line; answers its status.
step() {
    local label=$1
    shift
    STEP_NUMBER=$((STEP_NUMBER + 1))
    local prefix="[$STEP_NUMBER/$STEP_COUNT] $label"
    local started=$SECONDS status=0
    printf '\n=== %s\n' "$prefix" >>"$STEP_LOG"
    local live=0
    if [ -t 1 ] && [ "${STEP_VERBOSE:-0}" != 1 ]; then live=1; fi
    if [ "$live" = 1 ]; then printf '%s' "$prefix"; fi
    "$@" 2>&1 </dev/null | step_progress "$prefix" || status=$?
    if [ "$live" = 1 ]; then printf '\r\033[K'; fi
    if [ "$status" -ne 0 ]; then
        echo "$prefix: failed (exit status $status); the whole output is in $STEP_LOG"
        return "$status"
    fi
    echo "$prefix: done in $((SECONDS - started)) s"
}

# run_step LABEL COMMAND [ARGUMENT...]: the same, ending the script when the step fails.
run_step() {
    step "$@" || exit 1
}
