-- SPDX-License-Identifier: MIT
-- Run by ardour7-lua on the Dummy backend at 48 kHz.
--
-- ardour7-lua ardour.lua make SESSION FORMAT PLUGIN: makes the session SESSION, a stereo track
--   "input" through the plug-in (FORMAT lv2: PLUGIN is its URI; vst: its unique ID) into the
--   master bus, the switch automated off for the first 48000 frames and on after them.
-- ardour7-lua ardour.lua render SESSION PRESET: renders the session's first 96000 frames into
--   its folder with the export preset PRESET, prints "rendered" and ends by SIGKILL.
local command, folder = arg[1], arg[2]
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
AudioEngine:set_sample_rate(48000)
assert(AudioEngine:start(false) == 0, "the engine did not start")

-- The track's outputs to the master bus's inputs, the only way sound reaches the export.
local function track_and_master()
    return Session:route_by_name("input"):output(), Session:master_out():input()
end

if command == "render" then
    Session = load_session(folder, "session")
    assert(Session, "session " .. folder .. " did not load")
    local out, master = track_and_master()
    for i = 0, 1 do
        assert(out:audio(i):connected_to(master:audio(i):name()), "the track is not connected to the master bus")
    end
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

-- Ardour connects a new track from a thread of its own, which saving the session does not wait
-- for: a session saved before it got there renders silence. So the test connects it itself.
local config = ARDOUR.config()
config:set_input_auto_connect(ARDOUR.AutoConnectOption.ManualConnect)
config:set_output_auto_connect(ARDOUR.AutoConnectOption.ManualConnect)
local kinds = { lv2 = ARDOUR.PluginType.LV2, vst = ARDOUR.PluginType.LXVST }
local function make(kind, name)
    local track = Session:new_audio_track(2, 2, nil, 1, "input", ARDOUR.PresentationInfo.max_order,
        ARDOUR.TrackMode.Normal, true):front()
    local out, master = track_and_master()
    for i = 0, 1 do
        assert(out:connect(out:audio(i), master:audio(i):name(), nil) == 0, "the track was not connected")
    end
    local insert = ARDOUR.LuaAPI.new_plugin(Session, name, kind, "")
    assert(not insert:isnil(), "plug-in " .. name .. " not found")
    assert(track:add_processor_by_index(insert, 0, nil, true), "the plug-in was not inserted")
    -- Counts controls, not ports: the switch is the first. Off for the first second, then on
    -- (the test script sets the list to play).
    local list, control = ARDOUR.LuaAPI.plugin_automation(insert, 0)
    assert(not list:isnil(), "the switch cannot be automated")
    control:add(Temporal.timepos_t(0), 0, false, true)
    control:add(Temporal.timepos_t(48000), 1, false, true)
    Session:save_state("", false, false, false, false, false)
end
Session = create_session(folder, "session", 48000)
assert(Session, "no session")
make(assert(kinds[arg[3]], "no plug-in format " .. arg[3]), arg[4])
-- Lua's references to the session's objects go before the session does: collected after it,
-- they would unregister ports from a session that is gone.
collectgarbage()
collectgarbage()
close_session()
