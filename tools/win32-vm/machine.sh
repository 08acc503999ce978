# SPDX-License-Identifier: MIT
# Sourced by the scripts here: boots the emulated machine on IMAGE_DIR's kernel and disk and waits
# until it powers off, or kills it after a time limit. The host has no KVM, so qemu emulates the
# CPU (TCG); the guest kernel runs 32-bit programs, which this host's kernel refuses.
#
# boot_machine IMAGE_DIR SECONDS CONSOLE_LOG KERNEL_ARGS [QEMU_ARGS...]
boot_machine() {
    local image=$1 seconds=$2 console=$3 args=$4
    shift 4
    # QEMU's TCG does a 32-bit iret's stack reads as supervisor accesses, which SMAP turns into
    # an oops that kills every 32-bit process: SMAP stays off, in the CPU and in the kernel.
    timeout --kill-after=10 "$seconds" qemu-system-x86_64 \
        -machine q35 -accel tcg,thread=multi -cpu max,-smap,-la57 -smp 2 -m 2048 \
        -nographic -monitor none -nic none -no-reboot \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda console=ttyS0 nosmap quiet panic=-1 init=/sbin/vela-init $args" \
        -serial "file:$console" "$@"
}
