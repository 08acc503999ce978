#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The long soaks and memory check, run by hand (CI runs short counts as tests): 10,000
# create/close and 1,000 load/unload cycles, 1,000 editor open/close cycles with the X server's
# resources counted, 50 whole lives under valgrind; with win64, the same under wine64 and
# 1,000 editor cycles with every old Windows handle checked. Needs the presets built.
#     tools/soak.sh [win64]
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/virtual-display.sh
start_virtual_display
trap stop_virtual_display EXIT
status=0
module=build/linux/Vela_Button.so
soak=build/linux/tests/soak/vela_soak
nice "$soak" create-close "$module" 10000 || status=1
nice "$soak" load-unload "$module" 1000 || status=1
nice "$soak" load-play-unload "$module" 1000 || status=1
nice "$soak" editor "$module" 1000 || status=1
nice valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible "$soak" life "$module" 50 || status=1
if [ "${1:-}" = win64 ]; then
    dll="Z:$(realpath build/win64/Vela_Button.dll | tr / '\\')"
    for mode in "create-close 10000" "load-unload 1000" "load-play-unload 1000"; do
        nice tools/wine-run.sh build/win64/tests/soak/vela_soak.exe ${mode%% *} "$dll" ${mode##* } || status=1
    done
    nice tools/wine-run.sh build/win64/tests/soak/vela_editor_handle_soak.exe 1000 || status=1
fi
exit $status
