#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, checks the formatting, builds every preset and runs every test suite: natively,
# under the sanitizers, under wine64, and the static checks of the 32-bit Windows build.
# Prints one line per step; builds log to build/logs/test.log, each preset's tests to
# build/PRESET/ctest.log; --verbose also shows all of it as it comes. The formatting check
# counts as one test.
#
# tools/test.sh [--verbose] [PRESET...]
set -uo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --verbose ]; then
    export STEP_VERBOSE=1
    shift
fi
presets=(linux linux-sanitize linux-tsan win64 win32 hosts)
if [ $# -gt 0 ]; then
    presets=("$@")
fi

mkdir -p build/logs
export STEP_LOG=$PWD/build/logs/test.log STEP_COUNT=$((2 + 2 * ${#presets[@]})) STEP_NUMBER=0
: >"$STEP_LOG"
bash tools/setup.sh || exit 1
STEP_NUMBER=1
source tools/steps.sh

source tools/virtual-display.sh
start_virtual_display || exit 1
export WINEPREFIX="$PWD/build/wineprefix"
trap 'stop_virtual_display; /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT

passed=0
failed=0

check_format() {
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}
if step "formatting: clang-format over every tracked .cpp and .h" check_format; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    grep -oE '^[^: ]+\.(cpp|h):' "$STEP_LOG" | sort -u | head -n 5 | sed 's/:$//; s/^/    not formatted: /'
fi

for preset in "${presets[@]}"; do
    configure_and_build() {
        cmake --preset "$preset" && cmake --build --preset "$preset" -j2
    }
    if ! step "$preset: build" configure_and_build; then
        failed=$((failed + 1))
        STEP_NUMBER=$((STEP_NUMBER + 1))
        echo "[$STEP_NUMBER/$STEP_COUNT] $preset: test: not run"
        continue
    fi

    log="build/$preset/ctest.log"
    jobs=2
    [ "$preset" = win64 ] && jobs=1
    run_tests() {
        ctest --preset "$preset" -j"$jobs" | tee "$log"
    }
    step "$preset: test (output in $log)" run_tests
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        echo "    $preset: no test summary; see $log"
        failed=$((failed + 1))
        continue
    fi
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    echo "    $preset: $((total - bad)) passed, $bad failed"
    # The names of the failed tests, which ctest lists at the end.
    sed -n '/The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' | head -n 20
done

# --- fuzzing: a bounded run of the fuzz target from its seed corpus, counted as one test ---
if [ $# -eq 0 ]; then if bash tests/fuzz/run.sh 60; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
