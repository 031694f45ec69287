// SPDX-License-Identifier: GPL-2.0-or-later
// The streamer's controls of a thanks source (test, skip, pause or resume,
// clear; gifts, again and state for the doors that send and read) as OBS's
// doors reach them: the buttons of the Properties window, and a look-up of
// an input by name or uuid for the doors that name one (obs-websocket
// vendor requests, the scripts' procedure). Every door runs the control on
// the core thread through ThanksSource::Control: none of OBS's own threads
// waits on it, and no other thread longer than kControlLimit.
#pragma once

#include <obs-properties.h>

#include <chrono>
#include <string>

class ThanksSource;

inline constexpr std::chrono::seconds kControlLimit{2};

// The group "Controls" with the buttons test_gift, skip_thanks, pause_thanks
// (labelled with what it will do: pause, or resume while paused) and
// clear_thanks. They run without waiting (OBS's UI thread must not), with
// their answers in OBS's log; `source` is null for the properties of the
// source type.
void AddControlButtons(obs_properties_t* properties, ThanksSource* source);

// Runs `action` ("test", "skip", "pause", "resume", "clear", "gifts" with
// `argument` the JSON of one gift or an array, "again" with `argument` a
// gift_id in decimal, "state") on the thanks source named `inputName`, or
// with the uuid `inputUuid` when the name is empty; any thread but the core
// thread, with whatever bytes the caller sent. The
// answer is a JSON object (ThanksSource::Control says which), an error
// {"error": ...} naming bytes that are not UTF-8, an unknown action or
// input, a missing argument, or one that is not a thanks source.
std::string ControlInput(const std::string& inputName, const std::string& inputUuid, const std::string& action,
                         const std::string& argument);
