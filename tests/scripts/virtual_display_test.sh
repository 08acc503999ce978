#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tools/virtual-display.sh: several scripts started at once without a display each get a server
# of their own on a number it could bind, keep a display that answers, and say so when there is
# no Xvfb.
set -uo pipefail
helper=$(cd "$(dirname "$0")/../../tools" && pwd)/virtual-display.sh
source "$(dirname "$0")/cases.sh"

# Starts a display, writes its name and server's process to $1, holds it until $2 appears, then
# stops it.
hold_display() {
    env -u DISPLAY bash -c "source '$helper'; start_virtual_display || exit 1
        echo \"\$DISPLAY \$VIRTUAL_DISPLAY_PID\" >'$1.tmp' && mv '$1.tmp' '$1'
        for _ in \$(seq 300); do [ -e '$2' ] && break; sleep 0.1; done
        stop_virtual_display"
}

# Three at once: three different numbers, each answering while held, none left afterwards.
for i in 1 2 3; do
    hold_display "$scratch/name$i" "$scratch/release" &
done
for _ in $(seq 200); do
    [ -e "$scratch/name1" ] && [ -e "$scratch/name2" ] && [ -e "$scratch/name3" ] && break
    sleep 0.1
done
names=$(cat "$scratch"/name* 2>/dev/null | cut -d' ' -f1 | sort)
servers=$(cat "$scratch"/name* 2>/dev/null | cut -d' ' -f2)
if [ "$(wc -l <<<"$names")" -ne 3 ] || [ "$(sort -u <<<"$names" | wc -l)" -ne 3 ]; then
    fail "three displays started at once got names: $(tr '\n' ' ' <<<"$names")"
fi
for name in $names; do
    DISPLAY=$name xdpyinfo >/dev/null 2>&1 || fail "$name does not answer while held"
done
touch "$scratch/release"
wait
# Not by the names: other tests running meanwhile may take the numbers again at once.
for server in $servers; do
    ! kill -0 "$server" 2>/dev/null || fail "server $server still runs after stop_virtual_display"
done

# A display that answers is kept, and nothing is started.
hold_display "$scratch/outer" "$scratch/outer-release" &
for _ in $(seq 100); do [ -e "$scratch/outer" ] && break; sleep 0.1; done
outer=$(cut -d' ' -f1 "$scratch/outer" 2>/dev/null)
kept=$(DISPLAY=$outer bash -c "source '$helper'; start_virtual_display; echo \"\$DISPLAY \${VIRTUAL_DISPLAY_PID:-none}\"")
[ "$kept" = "$outer none" ] || fail "with $outer answering, the helper gave: $kept"
touch "$scratch/outer-release"
wait

# Without Xvfb on the PATH: a message and a failed status, not a display that is not there.
mkdir "$scratch/bin"
for tool in xdpyinfo mktemp rm seq sleep; do
    ln -s "$(command -v "$tool")" "$scratch/bin/$tool"
done
said=$(env -u DISPLAY PATH="$scratch/bin" "$BASH" -c "source '$helper'; start_virtual_display" 2>&1)
status=$?
[ "$status" -ne 0 ] && [[ $said == *"Xvfb did not start"* ]] ||
    fail "without Xvfb: status $status, said: $said"

finish "virtual display"
