#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs from Debian's archive whatever the build, the tests and the tools need.
# Fast when everything is there already.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    wine64 xvfb xauth x11-utils
    libx11-dev libxtst-dev libsndfile1-dev
    googletest libgtest-dev libbenchmark-dev
    python3-pil fonts-dejavu-core
    dpf-plugins-vst zam-plugins
    lv2-dev lilv-utils x42-plugins
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
