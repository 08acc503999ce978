# SPDX-License-Identifier: MIT
# Sourced by tools/test.sh: the run's counts of passed, failed and skipped tests, read from each
# preset's ctest log. A skipped test is neither passed nor failed; under CI (CI=true) a skip the
# list below does not expect fails the run, since a test that quietly stops running is lost.

passed=0
failed=0
skipped=0
unexpected_skips=0

# Tests that may skip, "NAME: why" each. Any other skip fails the run under CI.
expected_skips=()

# count_ctest_log PRESET LOG: adds the log's tests to the counts and names the skipped and the
# failed ones; answers 1 when the log holds no summary (counted as one failure).
count_ctest_log() {
    local preset=$1 log=$2 summary total bad names name reason entry count=0 counted
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        echo "    $preset: no test summary; see $log"
        failed=$((failed + 1))
        return 1
    fi
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    # ctest lists skipped and disabled tests under this heading; its total counts the skipped
    # ones, as not failed, and leaves the disabled ones out.
    names=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" |
        sed -nE 's/^[[:space:]]+[0-9]+ - (.+) \((Skipped|Disabled)\)$/\1/p')
    [ -n "$names" ] && count=$(wc -l <<<"$names")
    counted=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -c ' (Skipped)$')
    passed=$((passed + total - bad - counted))
    failed=$((failed + bad))
    skipped=$((skipped + count))
    echo "    $preset: $((total - bad - counted)) passed, $bad failed, $count skipped"
    while IFS= read -r name; do
        [ -n "$name" ] || continue
        reason=""
        for entry in "${expected_skips[@]}"; do
            [ "${entry%%: *}" = "$name" ] && reason=${entry#*: }
        done
        if [ -n "$reason" ]; then
            echo "    skipped: $name (expected: $reason)"
        else
            echo "    skipped: $name"
            unexpected_skips=$((unexpected_skips + 1))
        fi
    done <<<"$names"
    # The names of the failed tests, which ctest lists at the end.
    sed -n '/The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' | head -n 20
}

# report_counts: the closing line; answers whether the run passed.
report_counts() {
    echo "tests: $passed passed, $failed failed, $skipped skipped"
    if [ "${CI:-}" = true ] && [ "$unexpected_skips" -gt 0 ]; then
        echo "$unexpected_skips skipped tests are not expected to skip, which fails a CI run"
        return 1
    fi
    [ "$failed" -eq 0 ]
}
