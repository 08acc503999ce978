#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the emulated 32-bit Windows machine from Debian's packages into OUT_DIR: a Debian 12
# root with wine (32-bit) and Xvfb as an ext4 disk image, the stock amd64 kernel (it runs i386
# programs) and an initramfs that mounts that disk. Needs root (debootstrap, chroot) and the
# network; takes a few minutes.
#
# tools/win32-vm/build-image.sh OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
mirror=http://deb.debian.org/debian
source "$here/machine.sh"

rm -rf "$out" "$out.tmp"
mkdir -p "$out.tmp"
root=$out.tmp/root
trap 'umount "$root/proc" 2>/dev/null || true' EXIT

debootstrap --variant=minbase bookworm "$root" "$mirror"
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"; }
mount -t proc proc "$root/proc"
cat >"$root/etc/apt/apt.conf.d/90vela" <<'CONF'
APT::Install-Recommends "false";
Acquire::Check-Valid-Until "false";
Dpkg::Options { "--force-confold"; };
CONF
# Manuals and translations are never read here.
printf 'path-exclude=/usr/share/%s/*\n' doc man info locale >"$root/etc/dpkg/dpkg.cfg.d/90vela"
# A small initramfs that needs only to find the virtio disk and mount ext4 from it.
mkdir -p "$root/etc/initramfs-tools/conf.d"
echo MODULES=list >"$root/etc/initramfs-tools/conf.d/vela"
printf '%s\n' virtio_pci virtio_blk ext4 >"$root/etc/initramfs-tools/modules"
in_root dpkg --add-architecture i386
in_root apt-get update -qq
in_root apt-get install -y -qq linux-image-amd64 wine wine32:i386 xvfb xauth xkb-data x11-xkb-utils \
    libx11-6:i386 libxext6:i386 libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 \
    libxfixes3:i386 libxcomposite1:i386 libxinerama1:i386 libfreetype6:i386 libfontconfig1:i386
in_root apt-get clean
umount "$root/proc"
install -m 755 "$here/guest-init.sh" "$root/sbin/vela-init"
cp "$root"/boot/vmlinuz-* "$out.tmp/vmlinuz"
cp "$root"/boot/initrd.img-* "$out.tmp/initrd.img"
rm -rf "$root/boot" "$root/var/lib/apt/lists"/*

# The disk holds the root with room for the wine prefix and the jobs' files.
size=$(($(du -sm "$root" | cut -f1) + 1024))
mkfs.ext4 -q -F -L vela -d "$root" "$out.tmp/disk.img" "${size}M"
rm -rf "$root"
# The first boot creates the 32-bit wine prefix on the disk, once.
boot_machine "$out.tmp" 1800 "$out.tmp/prepare.log" vela.mode=prepare \
    -drive "file=$out.tmp/disk.img,format=raw,if=virtio"
grep -q '^prepared:' "$out.tmp/prepare.log" || { tail -n 30 "$out.tmp/prepare.log"; exit 1; }
mv "$out.tmp" "$out"
