#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a user meets it, in a fresh Debian 12 root holding nothing of this
# build: apt installs it with its dependencies, lv2ls lists the bundle, vela-host reads the
# installed module and tells the package's version, man finds the page, and a purge leaves no
# file of the package behind. The root (debootstrap minbase, with lilv-utils and man-db) is made
# once under build/package-root and again only when its recipe changes; each run works in a
# throwaway copy of it. Downloaded packages are kept beside it for the next run. Needs root.
#
# tests/package/fresh_root_test.sh PACKAGE.deb
set -euo pipefail
package=$(realpath "$1")
cd "$(dirname "$0")/../.."

# The mounts below live in a mount namespace of this run's own: they go when it ends, however.
if [ -z "${VELA_PRIVATE_MOUNTS:-}" ]; then
    exec env VELA_PRIVATE_MOUNTS=1 unshare --mount --propagation private bash "$0" "$package"
fi

cache=$PWD/build/package-root
suite=bookworm mirror=http://deb.debian.org/debian extra=lilv-utils,man-db
recipe="debootstrap --variant=minbase --include=$extra $suite $mirror; apt-get update"
base=$cache/base
mkdir -p "$cache/archives"
if [ "$(cat "$base/.recipe" 2>/dev/null)" != "$recipe" ]; then
    started=$SECONDS
    rm -rf --one-file-system "$base"
    make_root() {
        debootstrap --variant=minbase --include="$extra" --cache-dir="$cache/archives" "$suite" "$base" "$mirror" &&
            chroot "$base" apt-get update
    }
    make_root >"$cache/make-root.log" 2>&1 || { tail -n 20 "$cache/make-root.log"; exit 1; }
    echo "$recipe" >"$base/.recipe"
    echo "fresh root made in $((SECONDS - started)) s: $recipe"
else
    echo "fresh root from the cache: $recipe"
fi

root=$(mktemp -d "$cache/run.XXXXXX")
cleanup() {
    umount "$root/var/cache/apt/archives" "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
mount -t proc proc "$root/proc"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
cp "$package" "$root/tmp/"

in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
# Every file and link of the root, but what the package manager, caches and logs keep.
list_files() {
    in_root find / -xdev \( -path /proc -o -path /tmp -o -path /var/cache -o -path /var/lib/apt \
        -o -path /var/lib/dpkg -o -path /var/log -o -path /etc/ld.so.cache \) -prune -o -print | sort
}

failures=0
check() {
    local what=$1
    shift
    local output
    if output=$("$@" 2>&1); then
        echo "ok   $what: $output"
    else
        echo "FAIL $what: $output"
        failures=$((failures + 1))
    fi
}

# The archive moves on after the root was made: the package lists are read afresh each run.
in_root apt-get update -qq >"$root/tmp/update.log" 2>&1 || { cat "$root/tmp/update.log"; exit 1; }
list_files >"$root/tmp/before"
name=$(basename "$package")
install_package() {
    in_root apt-get install -y "/tmp/$name" >"$root/tmp/install.log" 2>&1 || { tail -n 20 "$root/tmp/install.log"; return 1; }
    grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$root/tmp/install.log"
}
check "apt-get install ./$name" install_package
pulled_in() {
    local wanted name missing=""
    wanted=$(in_root dpkg-query -W -f='${Depends}, ${Recommends}' vela | tr ',|' '\n\n' | sed 's/(.*//; s/ //g' | sort -u)
    for name in $wanted; do
        in_root dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null | grep -qx installed || missing+=" $name"
    done
    [ -z "$missing" ] || { echo "not installed:$missing"; return 1; }
    echo "installed" $wanted
}
check "apt pulled in what it depends on and recommends" pulled_in

lists_bundle() { in_root lv2ls | grep -x urn:ozmir:vela; }
check "lv2ls lists the bundle" lists_bundle
reads_module() {
    in_root vela-host info /usr/lib/vst/Vela_Button.so >"$root/tmp/info" &&
        grep -E '^(effectName|editorRect|  width|  height)' "$root/tmp/info" | paste -sd ' '
}
check "vela-host info /usr/lib/vst/Vela_Button.so" reads_module
tells_version() {
    local version
    version=$(in_root dpkg-query -W -f='${Version}' vela)
    in_root vela-host --version | grep -x "vela-host ${version%-*}"
}
check "vela-host --version is the package's" tells_version
check "man -w vela-host" in_root man -w vela-host

in_root dpkg-query -L vela >"$root/tmp/owned"
purge() {
    in_root apt-get remove --purge -y vela >"$root/tmp/purge.log" 2>&1 &&
        in_root apt-get autoremove --purge -y >>"$root/tmp/purge.log" 2>&1 || { tail -n 20 "$root/tmp/purge.log"; return 1; }
    list_files >"$root/tmp/after"
    local left
    left=$(while read -r path; do [ -e "$root$path" ] && [ ! -d "$root$path" ] && echo "$path"; done <"$root/tmp/owned")
    left+=$(comm -13 "$root/tmp/before" "$root/tmp/after")
    [ -z "$left" ] || { echo "left behind:" $left; return 1; }
    echo "none of its $(wc -l <"$root/tmp/owned") paths left; with its dependencies purged too the root holds the same $(wc -l <"$root/tmp/after") files as before"
}
check "apt-get remove --purge vela" purge

[ "$failures" -eq 0 ] && echo "all package cases passed"
[ "$failures" -eq 0 ]
