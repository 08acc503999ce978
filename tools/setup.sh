#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs from Debian's archive whatever the builds, the tests and the tools need; with --demo
# only what tools/run.sh needs. Fast when everything is there already. Prints one line; the
# package manager's output goes to STEP_LOG (build/logs/setup.log when run alone). --list only
# prints the packages it would want, one a line.
#
# tools/setup.sh [--demo] [--list]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ pkg-config
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    wine64 xvfb xauth x11-utils
    libx11-dev libxtst-dev libxres-dev libsndfile1-dev
    clang libclang-rt-dev valgrind
    googletest libgtest-dev libbenchmark-dev
    python3-pil fonts-dejavu-core
    dpf-plugins-vst zam-plugins lsp-plugins-vst
    lv2-dev lilv-utils x42-plugins
    clang-format
    dpkg-dev lintian debootstrap man-db
    qemu-system-x86 e2fsprogs
    ardour ecasound jalv jackd2 xdotool pipewire pipewire-bin wireplumber dbus-daemon
)
# Left out with --demo: the Windows builds, wine, and what only the tests use.
not_for_demo=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    wine64 dpf-plugins-vst zam-plugins lsp-plugins-vst lilv-utils x42-plugins clang-format
    dpkg-dev lintian debootstrap man-db qemu-system-x86 e2fsprogs
    ardour ecasound jalv jackd2 xdotool pipewire pipewire-bin wireplumber dbus-daemon
)

demo=0
list=0
for argument in "$@"; do
    case $argument in
    --demo) demo=1 ;;
    --list) list=1 ;;
    *)
        echo "usage: tools/setup.sh [--demo] [--list]" >&2
        exit 2
        ;;
    esac
done

wanted=("${packages[@]}")
if [ "$demo" = 1 ]; then
    wanted=()
    for package in "${packages[@]}"; do
        [[ " ${not_for_demo[*]} " == *" $package "* ]] || wanted+=("$package")
    done
fi

if [ "$list" = 1 ]; then
    printf '%s\n' "${wanted[@]}"
    exit 0
fi

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ -z "${STEP_LOG:-}" ]; then
    mkdir -p build/logs
    export STEP_LOG=$PWD/build/logs/setup.log STEP_COUNT=1
    : >"$STEP_LOG"
fi
source tools/steps.sh

if [ ${#missing[@]} -eq 0 ]; then
    STEP_NUMBER=$((STEP_NUMBER + 1))
    echo "[$STEP_NUMBER/$STEP_COUNT] packages: all ${#wanted[@]} installed"
    exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
install_missing() {
    echo "installing ${missing[*]}" &&
        $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
run_step "packages: installing ${#missing[@]} of ${#wanted[@]} from Debian" install_missing
