#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, checks the formatting, builds every preset and runs every test suite: natively,
# under the sanitizers, under wine64, and the 32-bit Windows build in an emulated machine; with no
# preset named, also the Debian package in a fresh root and a bounded fuzz run.
# Prints one line per step; builds log to build/logs/test.log, each preset's tests to
# build/PRESET/ctest.log; --verbose also shows all of it as it comes. The formatting check
# counts as one test; skipped tests are counted and named apart (tools/test-counts.sh).
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
export STEP_LOG=$PWD/build/logs/test.log STEP_COUNT=$((2 + 2 * ${#presets[@]} + ($# == 0))) STEP_NUMBER=0
: >"$STEP_LOG"
bash tools/setup.sh || exit 1
STEP_NUMBER=1
source tools/steps.sh

source tools/virtual-display.sh
start_virtual_display || exit 1
export WINEPREFIX="$PWD/build/wineprefix"
trap 'stop_virtual_display; /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT

source tools/test-counts.sh

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
    count_ctest_log "$preset" "$log"
    # What the 32-bit machine ran inside, from the tests' whole output.
    grep -h '^in the 32-bit machine:' "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null | sed 's/^/    /'
done

# --- the Debian package: made, passed by lintian, then installed, used and purged in a fresh root ---
package_test() { cmake --build --preset linux --target deb && bash tests/package/fresh_root_test.sh build/linux/vela_*.deb; }
if [ $# -eq 0 ]; then if step "package: build, lintian, fresh-root install" package_test; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; fi

# --- fuzzing: a bounded run of the fuzz target from its seed corpus, counted as one test ---
if [ $# -eq 0 ]; then if bash tests/fuzz/run.sh 60; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; fi

report_counts
