-- SPDX-License-Identifier: GPL-2.0-or-later
-- A streamer's script as OBS Studio's scripts tool runs it: every 100 ms its
-- timer, on OBS's video thread, asks the thanks source "答谢 controls" for
-- its state through the module's procedure. Every ten calls it appends a
-- line to $HOME/state_poller.txt: the calls so far, the slowest of those ten
-- in microseconds, and the last answer; the smoke test reads it.
obs = obslua

local input = "答谢 controls"
local out = (os.getenv("HOME") or "/tmp") .. "/state_poller.txt"
local calls, slowest = 0, 0

local function poll()
  local call = obs.calldata_create()
  obs.calldata_set_string(call, "input", input)
  obs.calldata_set_string(call, "action", "state")
  obs.calldata_set_string(call, "gifts", "")
  local started = obs.os_gettime_ns()
  obs.proc_handler_call(obs.obs_get_proc_handler(), "morvik_thanks_control", call)
  local took = (obs.os_gettime_ns() - started) / 1000
  local answer = obs.calldata_string(call, "answer") or ""
  obs.calldata_destroy(call)
  calls = calls + 1
  if took > slowest then slowest = took end
  if calls % 10 == 0 then
    local file = io.open(out, "a")
    if file then
      file:write(string.format("%d %d %s\n", calls, slowest, answer))
      file:close()
    end
    slowest = 0
  end
end

function script_description()
  return "Polls a thanks source's state every 100 ms (the module's smoke test)."
end

-- OBS removes a script's timers when it unloads the script; a timer_remove
-- of its own in script_unload ends OBS Studio 29's Lua in a crash.
function script_load(settings)
  obs.timer_add(poll, 100)
end
