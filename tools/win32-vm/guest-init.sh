#!/bin/sh
# SPDX-License-Identifier: MIT
# The first process of the emulated machine. "vela.mode=prepare" on the kernel command line
# creates the 32-bit wine prefix once, while the image is built; otherwise the job on the second
# disk (a tar file) is unpacked at / and its job.sh runs with its output on the second serial
# port and its exit status on the third. The machine powers off in every case.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
export WINEPREFIX=/opt/wine32 WINEARCH=win32 WINEDEBUG=-all
mount -t proc proc /proc 2>/dev/null
mount -t sysfs sys /sys 2>/dev/null
mount -t devtmpfs dev /dev 2>/dev/null
mount -o remount,rw /
mount -t tmpfs tmp /tmp

power_off() {
    sync
    mount -o remount,ro / 2>/dev/null
    echo o >/proc/sysrq-trigger
    sleep 60
}

if grep -q 'vela.mode=prepare' /proc/cmdline; then
    WINEDLLOVERRIDES='mscoree,mshtml=' wineboot --init
    wineserver -w
    echo "prepared: $(ls /opt/wine32/drive_c/windows/system32 | wc -l) files in system32"
    power_off
fi

for port in /dev/ttyS1 /dev/ttyS2; do stty -F "$port" raw -echo; done
export WINEDLLOVERRIDES='winedbg.exe=d;mscoree,mshtml='
# Real Win32 windows need an X server; its number is whatever it picks.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>/tmp/display 2>/tmp/xvfb.log &
tries=0
while [ ! -s /tmp/display ] && [ $tries -lt 100 ]; do
    sleep 0.2
    tries=$((tries + 1))
done
export DISPLAY=":$(cat /tmp/display)"
# The job's output goes through a pipe: on a terminal, wine's console would redraw it character
# by character with escape sequences.
echo 1 >/tmp/status
if tar -xf /dev/vdb -C /; then
    { cd /job && sh ./job.sh; echo $? >/tmp/status; } 2>&1 | cat >/dev/ttyS1
fi
cat /tmp/status >/dev/ttyS2
wineserver -k 2>/dev/null
power_off
