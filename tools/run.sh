#!/usr/bin/env bash
# Sets up, builds every preset, and shows what was built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

for preset in linux linux-sanitize linux-tsan win64 win32; do
    echo "=== building $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
done

echo
echo "Built modules and what they export:"
for module in build/linux/tests/frame_test_module.so; do
    echo "$module: $(nm -D --defined-only "$module" | awk '{print $3}' | tr '\n' ' ')"
done
for preset in win64 win32; do
    module=build/$preset/tests/frame_test_module.dll
    objdump=x86_64-w64-mingw32-objdump
    [ "$preset" = win32 ] && objdump=i686-w64-mingw32-objdump
    echo "$module: $($objdump -p "$module" | sed -n 's/^\t\[ *[0-9]*\] \([A-Za-z_]*\)$/\1/p' | tr '\n' ' ')"
done
