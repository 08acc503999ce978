#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes the sample outputs in README.md afresh from the tools that print them. A sample is the
# fenced block between "<!-- sample: NAME -->" and "<!-- /sample -->"; sample_NAME below makes
# it. Runs tools/run.sh, which builds what it shows; the failure sample needs the linux preset's
# test modules built (cmake --build --preset linux). The test readme_samples fails when a
# sample no longer has the shape of what its tool prints.
#
# tools/refresh-readme.sh
set -euo pipefail
cd "$(dirname "$0")/.."
host=$PWD/build/linux/host/vela-host

# What tools/run.sh prints, up to and with its table of levels.
sample_run() {
    bash tools/run.sh | sed '/^Switch off:/,$d'
}

# Vela through every check at the highest strictness.
sample_check() {
    echo '$ vela-host check build/linux/Vela_Button.so --strictness 10 --seed 1'
    "$host" check build/linux/Vela_Button.so --strictness 10 --seed 1
}

# A failure and how to replay it, from the test module whose output is NaN.
sample_failure() {
    (cd build/linux/tests/cli && "$host" check fault_nan.so --only process --seed 7 || true) | grep -A1 '^FAIL'
}

samples=$(mktemp -d)
trap 'rm -rf "$samples"' EXIT
for name in $(sed -nE 's/^<!-- sample: ([a-z]+) -->$/\1/p' README.md); do
    "sample_$name" >"$samples/$name"
done
awk -v folder="$samples" '
    /^<!-- sample: [a-z]+ -->$/ {
        print
        print "```"
        file = folder "/" $3
        while ((getline line <file) > 0) print line
        print "```"
        inside = 1
        next
    }
    /^<!-- \/sample -->$/ { inside = 0 }
    !inside { print }
' README.md >"$samples/README.md"
cp "$samples/README.md" README.md
