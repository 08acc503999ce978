-- SPDX-License-Identifier: MIT
-- Run by ardour7-lua on the Dummy backend at 48 kHz.
--
-- ardour7-lua ardour.lua make FOLDER URI UNIQUE_ID: makes two sessions in FOLDER, lv2 and vst,
--   each a stereo track "input" through the plug-in (the LV2 one by URI, the VST 2 one by
--   unique ID), the switch automated off for the first 48000 frames and on after them.
-- ardour7-lua ardour.lua render SESSION PRESET: renders the session's first 96000 frames into
--   its folder with the export preset PRESET, prints "rendered" and ends by SIGKILL. One
--   session a process: Ardour's heap does not survive loading a second one after a render.
local command, folder = arg[1], arg[2]
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
AudioEngine:set_sample_rate(48000)
assert(AudioEngine:start(false) == 0, "the engine did not start")

if command == "render" then
    Session = load_session(folder, "session")
    assert(Session, "session " .. folder .. " did not load")
    -- Exporting at once after loading sometimes deadlocks Ardour's butler thread, or renders
    -- silence.
    ARDOUR.LuaAPI.usleep(3000000)
    local export = Session:simple_export()
    assert(export:set_preset(arg[3]), "no export preset " .. arg[3])
    export:set_folder(folder)
    export:set_range(0, 96000)
    assert(export:run_export(), "session " .. folder .. " did not render")
    -- Ardour 7.3 crashes now and then while it tears a session down after an export, with any
    -- plug-in (x42's Stereo Routing as well), and on exit too: once the file is written, the
    -- process ends at once, by SIGKILL, which the test takes as the one sign of success.
    print("rendered")
    io.stdout:flush()
    local pid = io.open("/proc/self/stat"):read("n")
    os.execute("kill -KILL " .. math.tointeger(pid))
end

local plugins = {
    lv2 = { name = arg[3], kind = ARDOUR.PluginType.LV2 },
    vst = { name = arg[4], kind = ARDOUR.PluginType.LXVST },
}
for _, format in ipairs({ "lv2", "vst" }) do
    Session = create_session(folder .. "/" .. format, "session", 48000)
    assert(Session, "no session")
    local track = Session:new_audio_track(2, 2, nil, 1, "input", ARDOUR.PresentationInfo.max_order,
        ARDOUR.TrackMode.Normal, true):front()
    local plugin = plugins[format]
    local insert = ARDOUR.LuaAPI.new_plugin(Session, plugin.name, plugin.kind, "")
    assert(not insert:isnil(), format .. " plug-in " .. plugin.name .. " not found")
    assert(track:add_processor_by_index(insert, 0, nil, true), "the plug-in was not inserted")
    -- Counts controls, not ports: the switch is the first. Off for the first second, then on
    -- (the test script sets the list to play).
    local list, control = ARDOUR.LuaAPI.plugin_automation(insert, 0)
    assert(not list:isnil(), "the switch cannot be automated")
    control:add(Temporal.timepos_t(0), 0, false, true)
    control:add(Temporal.timepos_t(48000), 1, false, true)
    Session:save_state("", false, false, false, false, false)
    close_session()
end
