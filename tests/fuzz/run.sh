#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz target (preset linux-fuzz) and runs it from the committed seed corpus for a
# bounded time: tests/fuzz/run.sh [SECONDS] (60 by default). Fails on any finding; the input
# that found it is kept in build/linux-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
cmake --preset linux-fuzz >/dev/null
nice cmake --build --preset linux-fuzz -j2 --target vela_host_calls_fuzzer >/dev/null
work=build/linux-fuzz/fuzz-corpus
rm -rf "$work"
mkdir -p "$work" build/linux-fuzz/findings
cp tests/fuzz/corpus/* "$work/"
log=build/linux-fuzz/fuzz.log
if nice build/linux-fuzz/tests/fuzz/vela_host_calls_fuzzer -max_total_time="$seconds" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix=build/linux-fuzz/findings/ "$work" >"$log" 2>&1; then
    echo "fuzz: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions," \
        "$(grep -E '^host calls' "$log" | tail -n 1 | awk '{print $3}') host calls in ${seconds}s, no finding"
else
    tail -n 40 "$log"
    echo "fuzz: finding, see $log and build/linux-fuzz/findings/"
    exit 1
fi
