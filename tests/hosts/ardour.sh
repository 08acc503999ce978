#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Ardour 7, headless on its Dummy backend, plays the test noise through the plug-in, the switch
# automated off for the noise's first second and on after it, and records its master bus on a
# second track: every frame exact, and the change exactly at the noise's frame 48000.
#
# ardour.sh lv2|vst: through the LV2 bundle or through the Linux VST 2 module.
# (Recorded, not exported: Ardour 7.3 now and then corrupts its heap as an export ends, about one
# run in 25 through a VST 2 module, with other plug-ins too; ardour7-export deadlocks, crashes or
# renders silence in about one run of four.)
source "$(dirname "$0")/hosts.sh"
format=$1
export LV2_PATH=$LV2_BUNDLES HOME=$work LXVST_PATH=$work/modules
plugin=urn:ozmir:vela
if [ "$format" = vst ]; then
    # Ardour loads a VST 2 module only once its scanner has indexed it.
    mkdir "$LXVST_PATH"
    ln -s "$VST_MODULE" "$LXVST_PATH/"
    run_host 60 ardour-vst-scanner env LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner -f \
        "$LXVST_PATH/${VST_MODULE##*/}"
    plugin=$(sed -nE 's/.*<VST2Info id="([0-9]+)".*/\1/p' "$HOME"/.cache/ardour7/vst/*.v2i)
fi
session=$work/session
# The noise starts half a second in: Ardour fades a track in as the transport starts to roll.
start=24000
run_host 60 ardour7-lua-make ardour7-lua "$(dirname "$0")/ardour.lua" make "$session" "$format" "$plugin" $start

# The Lua interface imports no files: the noise goes into the session's XML as one region on
# the track, both channels of the file as its sources, no fades, and the session's range; the
# switch's automation is set to play, in steps (a VST 2 parameter is not known to be a switch,
# so Ardour would ramp it).
# Positions are in superclock ticks, 282240000 a second: 5880 a frame at 48 kHz.
position=a$((start * 5880)) length=a$((96000 * 5880)) end=a$(((start + 96000) * 5880))
source_xml() {
    echo "<Source name=\"$input\" type=\"audio\" flags=\"\" id=\"$1\" captured-for=\"\" channel=\"$2\" origin=\"\" gain=\"1\"/>"
}
region="<Region name=\"input\" muted=\"0\" opaque=\"1\" locked=\"0\" automatic=\"0\" whole-file=\"0\" import=\"0\"
    external=\"0\" hidden=\"0\" start=\"a0\" length=\"$length@$position\" position=\"$position\"
    sync-position=\"$position\" layering-index=\"0\" envelope-active=\"0\" default-fade-in=\"0\" default-fade-out=\"0\"
    fade-in-active=\"0\" fade-out-active=\"0\" scale-amplitude=\"1\" id=\"900003\" type=\"audio\" source-0=\"900001\"
    source-1=\"900002\" master-source-0=\"900001\" master-source-1=\"900002\" channels=\"2\"/>"
range="<Location id=\"900004\" name=\"session\" start=\"a0\" end=\"$end\" flags=\"IsSessionRange\" locked=\"0\"
    timestamp=\"0\" cue=\"0\"/>"
grep -q 'superclocks-per-second="282240000"' "$session/session.ardour" || {
    echo "FAIL $session/session.ardour counts time in other units"
    exit 1
}
sed -i -e "s|<Sources/>|<Sources>$(source_xml 900001 0)$(source_xml 900002 1)</Sources>|" \
    -e "s|<Locations/>|<Locations>${range//$'\n'/}</Locations>|" \
    -e "s|\(<Playlist [^>]* name=\"input\" [^>]*\)/>|\1>${region//$'\n'/}</Playlist>|" \
    -e 's|\(<AutomationList automation-id="parameter-[0-9]*" [^>]*state="\)Off"|\1Play"|' \
    -e 's|\(<AutomationList automation-id="parameter-[0-9]*" [^>]*interpolation-style="\)Linear"|\1Discrete"|' \
    "$session/session.ardour"

log=$work/ardour7-lua-record.log
status=0
# Success is the process ending itself by SIGKILL (128 + 9) after saying so; see ardour.lua.
# A subshell of its own notes the signal, to nowhere. A tenth of a second more is recorded than
# the noise lasts, for the path's latency.
(
    timeout -k 5 60 ardour7-lua "$(dirname "$0")/ardour.lua" record "$session" $((start + 96000 + 4800)) \
        >"$log" 2>&1 </dev/null
    exit $?
) 2>/dev/null || status=$?
if [ "$status" -ne 137 ] || ! grep -qx recorded "$log"; then
    echo "FAIL ardour7-lua did not record through $format (exit status $status)"
    exit 1
fi
# Ardour records one mono file a channel, 32-bit float by default (the noise's samples are finer
# than 24 bits: any other format fails the comparison).
captured=$session/interchange/session/audiofiles/Take1_capture-1
"$HOST_AUDIO" join "$captured%L.wav" "$captured%R.wav" "$work/output.wav"
compare "$work/output.wav" off-then-on --block 48000
