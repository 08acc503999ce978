#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes vela-host's manual page (troff, section 1) from what the tool itself prints for
# --version, --help and COMMAND --help, so that the page and the help cannot say different
# things. The build runs it once the tool is built.
#
# tools/manual-page.sh TOOL OUTPUT
set -euo pipefail
tool=$1 output=$2

# Plain text as troff: backslashes and dashes escaped, a leading dot or quote kept literal.
# Lines starting with a space keep their layout (option lists); the others are filled as prose.
as_troff() {
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\\&&/" | awk '
        $0 == "" { if (nofill) print ".fi"; nofill = 0; print ".PP"; next }
        /^ / && !nofill { print ".nf"; nofill = 1 }
        !/^ / && nofill { print ".fi"; nofill = 0 }
        { print }
        END { if (nofill) print ".fi" }'
}

overview=$("$tool" --help)
version=$("$tool" --version)
# The overview: a "vela-host: what it does" line, the usage lines, the command list, then notes.
what=$(sed -n '1s/^vela-host: //p' <<<"$overview")
usage=$(sed -n 's/^usage: //p; s/^ \{7\}\(vela-host \)/\1/p' <<<"$overview")
commands=$(awk '/^commands:/ { list = 1; next } list && $0 == "" { exit } list && /^  [a-z]/ { print $1 }' <<<"$overview")
notes=$(awk '/^commands:/ { list = 1 } list && $0 == "" { after = 1; next } after' <<<"$overview")

{
    echo ".TH VELA\\-HOST 1 \"\" \"${version//-/\\-}\" \"User Commands\""
    echo ".SH NAME"
    as_troff <<<"vela-host - $what"
    echo ".SH SYNOPSIS"
    echo ".nf"
    as_troff <<<"$usage"
    echo ".fi"
    echo ".SH DESCRIPTION"
    { echo "vela-host $what."; grep -v '^Exit status:' <<<"$notes" || true; } | as_troff
    echo ".SH COMMANDS"
    for command in $commands; do
        help=$("$tool" "$command" --help)
        # The usage lines up to the first empty line, as one heading; the text below it.
        synopsis=$(sed '/^$/q' <<<"$help" | sed 's/^usage: //' | tr -s ' \n' ' ' | sed 's/ $//')
        echo ".SS \"$(as_troff <<<"$synopsis")\""
        sed '1,/^$/d' <<<"$help" | as_troff
    done
    echo ".SH EXIT STATUS"
    sed -n 's/^Exit status: //p' <<<"$notes" | as_troff
} >"$output.new"
mv "$output.new" "$output"
