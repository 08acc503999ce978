-- SPDX-License-Identifier: MIT
-- Run by ardour7-lua on the Dummy backend at 48 kHz.
--
-- ardour7-lua ardour.lua make SESSION FORMAT PLUGIN START: makes the session SESSION, a stereo
--   track "input" through the plug-in (FORMAT lv2: PLUGIN is its URI; vst: its unique ID) into
--   the master bus, the switch automated off from frame START and on from START + 48000; and a
--   stereo track "capture" recording the master bus's outputs.
-- ardour7-lua ardour.lua record SESSION END: records from frame 0 past frame END in real time,
--   saves the session, prints "recorded" and ends by SIGKILL.
local command, folder = arg[1], arg[2]
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
AudioEngine:set_sample_rate(48000)
assert(AudioEngine:start(false) == 0, "the engine did not start")

-- The track's outputs to the master bus's inputs, and the master bus's outputs to the capture
-- track's inputs: the only way sound reaches the recording.
local function connections()
    local master = Session:master_out()
    return { { Session:route_by_name("input"):output(), master:input() },
        { master:output(), Session:route_by_name("capture"):input() } }
end

if command == "record" then
    Session = load_session(folder, "session")
    assert(Session, "session " .. folder .. " did not load")
    for _, pair in ipairs(connections()) do
        for i = 0, 1 do
            assert(pair[1]:audio(i):connected_to(pair[2]:audio(i):name()), "a connection was lost")
        end
    end
    -- Requests to the transport are carried out by the engine's thread, a cycle or more later.
    local function wait_for(what, done)
        for _ = 1, 1000 do
            if done() then
                return
            end
            ARDOUR.LuaAPI.usleep(10000)
        end
        error("no " .. what .. " within 10 s")
    end
    local armed = Session:route_by_name("capture"):to_track():rec_enable_control()
    armed:set_value(1, PBD.GroupControlDisposition.NoGroup)
    wait_for("armed track", function() return armed:get_value() == 1 end)
    local ui = ARDOUR.TransportRequestSource.TRS_UI
    Session:request_locate(0, false, ARDOUR.LocateTransportDisposition.MustStop, ui)
    wait_for("locate to 0", function() return Session:transport_sample() == 0 end)
    Session:maybe_enable_record(false)
    Session:request_roll(ui)
    wait_for("recording", function() return Session:actively_recording() end)
    local last = tonumber(arg[3])
    wait_for("frame " .. last, function() return Session:transport_sample() > last end)
    Session:request_stop(false, false, ui)
    wait_for("stop", function() return Session:transport_stopped() end)
    Session:save_state("", false, false, false, false, false)
    -- Ardour 7.3 crashes now and then while it tears a session down, with any plug-in, and on
    -- exit too: once the files are written, the process ends at once, by SIGKILL, which the test
    -- takes as the one sign of success.
    print("recorded")
    io.stdout:flush()
    local pid = io.open("/proc/self/stat"):read("n")
    os.execute("kill -KILL " .. math.tointeger(pid))
end

-- Ardour connects a new track from a thread of its own, which saving the session does not wait
-- for: a session saved before it got there records silence. So the test connects it itself.
local config = ARDOUR.config()
config:set_input_auto_connect(ARDOUR.AutoConnectOption.ManualConnect)
config:set_output_auto_connect(ARDOUR.AutoConnectOption.ManualConnect)
local kinds = { lv2 = ARDOUR.PluginType.LV2, vst = ARDOUR.PluginType.LXVST }
local function make(kind, name, start)
    local function track(title)
        return Session:new_audio_track(2, 2, nil, 1, title, ARDOUR.PresentationInfo.max_order,
            ARDOUR.TrackMode.Normal, true):front()
    end
    local input = track("input")
    track("capture")
    for _, pair in ipairs(connections()) do
        for i = 0, 1 do
            assert(pair[1]:connect(pair[1]:audio(i), pair[2]:audio(i):name(), nil) == 0, "a connection failed")
        end
    end
    local insert = ARDOUR.LuaAPI.new_plugin(Session, name, kind, "")
    assert(not insert:isnil(), "plug-in " .. name .. " not found")
    assert(input:add_processor_by_index(insert, 0, nil, true), "the plug-in was not inserted")
    -- Counts controls, not ports: the switch is the first. Off for the noise's first second, then
    -- on (the test script sets the list to play).
    local list, control = ARDOUR.LuaAPI.plugin_automation(insert, 0)
    assert(not list:isnil(), "the switch cannot be automated")
    control:add(Temporal.timepos_t(start), 0, false, true)
    control:add(Temporal.timepos_t(start + 48000), 1, false, true)
    Session:save_state("", false, false, false, false, false)
end
Session = create_session(folder, "session", 48000)
assert(Session, "no session")
make(assert(kinds[arg[3]], "no plug-in format " .. arg[3]), arg[4], tonumber(arg[5]))
-- Lua's references to the session's objects go before the session does: collected after it,
-- they would unregister ports from a session that is gone.
collectgarbage()
collectgarbage()
close_session()
