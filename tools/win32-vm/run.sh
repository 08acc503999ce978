#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a shell script in the emulated 32-bit Windows machine and passes on its output and exit
# status. The files and folders named after it are copied in at the same absolute paths, so the
# paths compiled into test programs hold in the guest; the script runs as root with wine's
# 32-bit prefix and an X server ready. Every run boots the cached image afresh and leaves it as
# it was; the image is built first when its recipe (the scripts here) has changed.
#
# tools/win32-vm/run.sh SCRIPT [PATH...]   (VELA_VM_TIMEOUT: seconds until the machine is killed)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/machine.sh"
script=$1
shift

images=$here/../../build/win32-vm
recipe=$(cat "$here/build-image.sh" "$here/guest-init.sh" "$here/machine.sh" | sha256sum | cut -c1-16)
image=$images/$recipe
mkdir -p "$images"
# One build at a time; a run that waited finds the image made.
exec 9>"$images/lock"
flock 9
if [ ! -f "$image/disk.img" ]; then
    echo "building the machine image $image (log: $images/build.log)"
    find "$images" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo bash "$here/build-image.sh" "$image" >"$images/build.log" 2>&1 || {
        tail -n 20 "$images/build.log"
        exit 1
    }
fi
flock -u 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/job"
cp "$script" "$work/job/job.sh"
# A tar file is the guest's second disk: no file system or share needed to carry the job in.
tar -C / -cf "$work/job.tar" "${@#/}"
tar -C "$work" -rf "$work/job.tar" job
: >"$work/output"
: >"$work/status"
if ! boot_machine "$image" "${VELA_VM_TIMEOUT:-1800}" "$work/console" "" \
    -drive "file=$image/disk.img,format=raw,if=virtio,snapshot=on" \
    -drive "file=$work/job.tar,format=raw,if=virtio,readonly=on" \
    -serial "file:$work/output" -serial "file:$work/status"; then
    cat "$work/output"
    echo "the machine did not power off in time; its console:"
    tail -n 40 "$work/console"
    exit 1
fi
cat "$work/output"
status=$(tr -dc 0-9 <"$work/status")
if [ -z "$status" ]; then
    echo "the machine stopped without the job's status; its console:"
    tail -n 40 "$work/console"
    exit 1
fi
exit "$status"
