#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tools/test-counts.sh over a real ctest log: skipped and disabled tests are counted and named
# apart from the passed ones, a missing program counts as failed, and under CI a skip the list
# does not expect fails the run while an expected one does not.
set -uo pipefail
counts=$(cd "$(dirname "$0")/../../tools" && pwd)/test-counts.sh
source "$(dirname "$0")/cases.sh"

project=$scratch/project
mkdir -p "$project"
cat >"$project/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(counts NONE)
enable_testing()
add_test(NAME passes COMMAND true)
add_test(NAME fails COMMAND false)
add_test(NAME skips_by_status COMMAND sh -c "exit 77")
add_test(NAME skips_by_output COMMAND echo "[  SKIPPED ] no display")
add_test(NAME disabled COMMAND true)
add_test(NAME missing_program COMMAND /nonexistent/program)
set_tests_properties(skips_by_status PROPERTIES SKIP_RETURN_CODE 77)
set_tests_properties(skips_by_output PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
set_tests_properties(disabled PROPERTIES DISABLED TRUE)
EOF
log=$scratch/ctest.log
(cmake -S "$project" -B "$project/build" >/dev/null && cd "$project/build" && ctest >"$log" 2>&1)

# Runs count_ctest_log and report_counts in a fresh shell; leaves their output in $out and
# report_counts' status in $status. $1: CI's value, $2: the expected skips.
count() {
    out=$(CI=$1 bash -c "source '$counts'; expected_skips=($2); count_ctest_log linux '$log'; report_counts" 2>&1)
    status=$?
}

count false ""
[[ $out =~ "linux: 1 passed, 2 failed, 3 skipped" ]] || fail "the counts of one log: $out"
[[ $out =~ "tests: 1 passed, 2 failed, 3 skipped" ]] || fail "the closing line: $out"
for name in skips_by_status skips_by_output disabled; do
    grep -qx "    skipped: $name" <<<"$out" || fail "$name is not named as skipped: $out"
done
grep -q ' - missing_program (Not Run)' <<<"$out" || fail "the missing program is not named as failed: $out"

# The failures aside, only the skips decide the verdict below.
sed -i '/add_test(NAME fails\|add_test(NAME missing_program/d' "$project/CMakeLists.txt"
(cmake -S "$project" -B "$project/build" >/dev/null && cd "$project/build" && ctest >"$log" 2>&1)
count false ""
[ "$status" -eq 0 ] || fail "skips outside CI failed the run: $out"
count true ""
[ "$status" -ne 0 ] && [[ $out =~ "3 skipped tests are not expected" ]] || fail "unexpected skips under CI passed: $out"
count true "'skips_by_status: a reason' 'skips_by_output: a reason' 'disabled: a reason'"
[ "$status" -eq 0 ] && grep -qx "    skipped: disabled (expected: a reason)" <<<"$out" ||
    fail "expected skips under CI failed the run or lost their reason: $out"

finish "test count"
