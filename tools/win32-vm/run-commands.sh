#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a batch of 32-bit Windows programs under wine in the emulated machine, one boot for all,
# and sums up: how many of the batch's commands passed, and how many GoogleTest cases passed
# inside the 32-bit processes. Fails when any command fails or the machine does not finish.
#
# tools/win32-vm/run-commands.sh COMMANDS_FILE [PATH...]
#   COMMANDS_FILE: one command a line, a program's absolute path and its arguments;
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
# wine's debugger is off in the guest.
{
    echo 'failed=0'
    for line in "${lines[@]}"; do
        printf 'cd %q\necho "=== %s"\n' "$(dirname "${line%% *}")" "$line"
        printf 'if timeout 900 wine %s </dev/null; then echo "=== passed"; else echo "=== FAILED (exit $?)"; failed=1; fi\n' "$line"
    done
    echo 'exit $failed'
} >"$work/job.sh"

status=0
bash "$here/run.sh" "$work/job.sh" "${files[@]}" "$@" | tee "$work/output" || status=$?
cases=$(awk '/^\[  PASSED  \] [0-9]+ tests?\./ { sum += $4 } END { print sum + 0 }' "$work/output")
echo "in the 32-bit machine: $(grep -c '^=== passed' "$work/output") of ${#lines[@]} programs passed;" \
    "$cases GoogleTest cases passed"
exit "$status"
