# SPDX-License-Identifier: MIT
# What the script tests share, sourced at their start: a scratch folder removed at exit, fail
# to count a failed case, and finish to report them and end with the status.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# finish WHAT: "all WHAT cases passed" when none failed; the status says whether any did.
finish() {
    [ "$failures" -eq 0 ] && echo "all $1 cases passed"
    [ "$failures" -eq 0 ]
}
