// SPDX-License-Identifier: GPL-2.0-or-later
// The controls for OBS's Lua and Python scripts: one procedure on OBS's
// global proc handler,
//   void morvik_thanks_control(in string input, in string action,
//                              in string gifts, out string answer)
// `input` is the thanks source's name, `action` one of "test", "skip",
// "pause", "resume", "clear", "gifts" (with `gifts` the JSON of one gift or
// an array), "again" (with `gifts` the gift's number, the "gift_id" of its
// GiftReceived, in decimal) and "state"; `answer` is the JSON object the
// other doors give (ThanksSource::Control says how long each thread may
// wait). The third string keeps its name "gifts" for the scripts written
// before "again".
#pragma once

// At module load; keeps the module mapped until the process ends, since
// libobs cannot take a procedure back.
void RegisterScriptProcedure();
// At module unload, after any call under way has returned: a script's
// later call (a Python script's own thread) is answered {"error": ...}
// without touching libobs or a source.
void CloseScriptProcedure();
