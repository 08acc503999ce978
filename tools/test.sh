#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds every preset and runs every test suite: natively, under the sanitizers,
# under wine64, and the static checks of the 32-bit Windows build.
set -uo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh || exit 1

presets=(linux linux-sanitize linux-tsan win64 win32)
if [ $# -gt 0 ]; then
    presets=("$@")
fi

source tools/virtual-display.sh
start_virtual_display
export WINEPREFIX="$PWD/build/wineprefix"
trap 'stop_virtual_display; /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT

passed=0
failed=0
for preset in "${presets[@]}"; do
    echo "=== $preset: build"
    if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j2; then
        echo "=== $preset: build failed"
        failed=$((failed + 1))
        continue
    fi
    echo "=== $preset: test"
    jobs=2
    [ "$preset" = win64 ] && jobs=1
    ctest --preset "$preset" -j"$jobs" 2>&1 | tee "build/$preset/ctest.log"
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "build/$preset/ctest.log" | tail -n 1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    if [ -z "$summary" ]; then
        failed=$((failed + 1))
    else
        passed=$((passed + total - bad))
        failed=$((failed + bad))
    fi
done

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
