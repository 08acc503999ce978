#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a batch of 32-bit Windows programs under wine in the emulated machine, one boot for all,
# and sums up: how many of the batch's commands passed, and how many GoogleTest cases passed
# inside the 32-bit processes. Fails when any command fails or the machine does not finish.
#
# tools/win32-vm/run-commands.sh COMMANDS_FILE [PATH...]
#   COMMANDS_FILE: one run a line: the exit status it must end with, a tab, an extended regular
#     expression that a line of its output must match (or nothing), a tab, and the command (a
#     program's absolute path and its arguments);
#   PATH: more files or folders the programs read, copied in at the same paths.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
commands=$1
shift
mapfile -t lines <"$commands"
# The programs and the modules they are given travel with them.
files=()
for word in $(cat "$commands"); do
    if [[ $word == /* && -f $word ]]; then files+=("$word"); fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each program runs from its own folder with a time limit; a crash ends it at once since
# wine's debugger is off in the guest. Its output goes on as it comes and is kept for the match.
{
    echo 'failed=0'
    for line in "${lines[@]}"; do
        want=${line%%$'\t'*}
        rest=${line#*$'\t'}
        pattern=${rest%%$'\t'*}
        command=${rest#*$'\t'}
        expected="exit $want"
        match="[ \$status = $want ]"
        if [ -n "$pattern" ]; then
            expected+=" and a line matching $pattern"
            match+=" && grep -Eq $(printf %q "$pattern") /tmp/output"
        fi
        printf 'cd %q\necho %q\n' "$(dirname "${command%% *}")" "=== $command"
        printf '{ timeout 900 wine %s </dev/null 2>&1; echo $? >/tmp/status; } | tee /tmp/output\n' "$command"
        printf 'status=$(cat /tmp/status)\n'
        printf 'if %s; then echo "=== passed"; else echo %q"$status)"; failed=1; fi\n' "$match" \
            "=== FAILED (expected $expected; exit "
    done
    echo 'exit $failed'
} >"$work/job.sh"

status=0
bash "$here/run.sh" "$work/job.sh" "${files[@]}" "$@" | tee "$work/output" || status=$?
cases=$(awk '/^\[  PASSED  \] [0-9]+ tests?\./ { sum += $4 } END { print sum + 0 }' "$work/output")
echo "in the 32-bit machine: $(grep -c '^=== passed' "$work/output") of ${#lines[@]} programs passed;" \
    "$cases GoogleTest cases passed"
exit "$status"
