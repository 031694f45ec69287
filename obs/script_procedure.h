// The controls for OBS's Lua and Python scripts: one procedure on OBS's
// global proc handler,
//   void morvik_thanks_control(in string input, in string action,
//                              in string gifts, out string answer)
// `input` is the thanks source's name, `action` one of "test", "skip",
// "pause", "resume", "clear", "gifts" (with `gifts` the JSON of one gift or
// an array) and "state"; `answer` is the JSON object the other doors give.
// It waits at most kControlLimit (obs/thanks_controls.h) for the core thread.
#pragma once

// At module load.
void RegisterScriptProcedure();
