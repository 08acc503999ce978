#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program of the win64 build under wine64 with a private prefix, so that test
# runs neither share state with a user's wine nor wait in a debugger after a crash.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=d;mshtml=d}
export WINEARCH=win64
if [ ! -d "$WINEPREFIX" ]; then
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
fi
exec /usr/lib/wine/wine64 "$@"
