#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Ardour 7, headless on its Dummy backend, renders the test noise through the plug-in, the switch
# automated off for the first second and on after it: every frame exact, and the change exactly
# at frame 48000.
#
# ardour.sh lv2|vst: through the LV2 bundle or through the Linux VST 2 module.
# (Not ardour7-export: it exports as soon as the session is loaded, and then deadlocks, crashes or
# renders silence in about one run of four here, with any plug-in.)
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
run_host 60 ardour7-lua-make ardour7-lua "$(dirname "$0")/ardour.lua" make "$session" "$format" "$plugin"

# The Lua interface imports no files: the noise goes into the session's XML as one region on
# the track, both channels of the file as its sources, no fades, and the session's range; the
# switch's automation is set to play, in steps (a VST 2 parameter is not known to be a switch,
# so Ardour would ramp it).
# Positions are in superclock ticks, 282240000 a second: 5880 a frame at 48 kHz.
length=a$((96000 * 5880))
source_xml() {
    echo "<Source name=\"$input\" type=\"audio\" flags=\"\" id=\"$1\" captured-for=\"\" channel=\"$2\" origin=\"\" gain=\"1\"/>"
}
region="<Region name=\"input\" muted=\"0\" opaque=\"1\" locked=\"0\" automatic=\"0\" whole-file=\"0\" import=\"0\"
    external=\"0\" hidden=\"0\" start=\"a0\" length=\"$length@a0\" position=\"a0\" sync-position=\"a0\" layering-index=\"0\"
    envelope-active=\"0\" default-fade-in=\"0\" default-fade-out=\"0\" fade-in-active=\"0\" fade-out-active=\"0\"
    scale-amplitude=\"1\" id=\"900003\" type=\"audio\" source-0=\"900001\" source-1=\"900002\" master-source-0=\"900001\"
    master-source-1=\"900002\" channels=\"2\"/>"
range="<Location id=\"900004\" name=\"session\" start=\"a0\" end=\"$length\" flags=\"IsSessionRange\" locked=\"0\"
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

# An export preset of the test's own: a 32-bit float WAV file named after the session.
mkdir -p "$HOME/.config/ardour7/export"
cat >"$HOME/.config/ardour7/export/float.preset" <<'PRESET'
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="5f0c1a52-0c5e-4d5e-9a43-7a1e0b6e1f01" name="float">
  <ExportFormat id="20b4ab09-6452-4cb3-bd66-b921cdbd2942"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="session" enabled="1"/>
  </ExportFilename>
</ExportPreset>
PRESET
grep -qs 'id="20b4ab09-6452-4cb3-bd66-b921cdbd2942"' "/usr/share/ardour7/export/BWAV 32float Export.format" || {
    echo "FAIL Ardour's export format BWAV 32float is missing"
    exit 1
}
log=$work/ardour7-lua-render.log
status=0
# Success is the process ending itself by SIGKILL (128 + 9) after saying so; see ardour.lua.
# A subshell of its own notes the signal, to nowhere.
(
    timeout -k 5 60 ardour7-lua "$(dirname "$0")/ardour.lua" render "$session" \
        5f0c1a52-0c5e-4d5e-9a43-7a1e0b6e1f01 >"$log" 2>&1 </dev/null
    exit $?
) 2>/dev/null || status=$?
if [ "$status" -ne 137 ] || ! grep -qx rendered "$log"; then
    echo "FAIL ardour7-lua did not render through $format (exit status $status)"
    exit 1
fi
compare "$session/session.wav" off-then-on --block 48000
