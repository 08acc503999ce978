#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# vela-host's help, README's tables of its commands and check's options, and the manual page
# say the same: every command's usage is a row of README's table and no row names a command the
# tool lacks; check's options are those of README's option table; the page renders without a
# complaint from man and heads each command with its usage line and the tool's version.
#
# help_documents_test.sh VELA_HOST README MANUAL_PAGE
set -uo pipefail
tool=$1 readme=$2 page=$3
source "$(dirname "$0")/../scripts/cases.sh"

# A command's usage line as one line: "NAME SYNOPSIS".
usage() { "$tool" "$1" --help | sed '/^$/q' | sed 's/^usage: vela-host //' | tr -s ' \n' ' ' | sed 's/ $//'; }
# The text of README from the heading $1 up to the next heading.
section() { awk -v heading="$1" '$0 == heading { inside = 1; next } inside && /^#/ { exit } inside' "$readme"; }
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }

commands=$("$tool" --help | awk '/^commands:/ { list = 1; next } list && $0 == "" { exit } list && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || fail "vela-host --help lists no commands"
rows=$(section "## vela-host" | sed -n 's/^| `\([^`]*\)` |.*/\1/p' | sed 's/\\|/|/g')
for command in $commands; do
    grep -qxF "$(usage "$command")" <<<"$rows" ||
        fail "README's command table has no row \`$(usage "$command")\`"
done
for row in $(cut -d' ' -f1 <<<"$rows"); do
    grep -qx "$row" <<<"$commands" || fail "README's command table has $row, which vela-host --help does not list"
done

in_help=$(usage check | options | grep -vx -- --list)
in_table=$(section "### vela-host check" | grep '^| `--' | cut -d'|' -f2 | options)
[ "$in_help" = "$in_table" ] ||
    fail "check's options differ: in its help $(paste -sd' ' <<<"$in_help"), in README's option table $(paste -sd' ' <<<"$in_table")"

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man complains about the page: $warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=1000 man -l "$page" 2>/dev/null | sed 's/^ *//')
for command in $commands; do
    grep -qxF "vela-host $(usage "$command")" <<<"$rendered" || fail "the page has no heading for $command"
done
grep -qE "^$("$tool" --version) +VELA-HOST\(1\)$" <<<"$rendered" || fail "the page does not carry $("$tool" --version)"

finish "help document"
