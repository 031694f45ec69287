// SPDX-License-Identifier: GPL-2.0-or-later
// The streamer's gift activity page in OBS Studio: served from the module's
// load to its unload on 127.0.0.1 (activity/page_server.h), at the port and
// token kept in the module's configuration (activity.json), for every
// thanks source; opened from OBS's Tools menu ("Gift activity…"), which the
// module reaches without linking OBS's frontend library.
//
// The sources feed it on the core thread, as they announce gifts and
// thanks and as their state is reported; its controls run on the server's
// connection threads, through the same door as the scripts' procedure
// (obs/thanks_controls.h), which answers at once when the core is busy.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

// In obs_module_post_load: reads or makes the page's settings, starts the
// server and adds the Tools menu item. Without the page's files, a port or
// OBS's frontend, one log line says what is missing; the rest goes on.
void StartActivityPage();
// In obs_module_unload, before the core thread stops: the server's
// connections end and it stops listening; the feeds below do nothing after.
void StopActivityPage();

// Any thread. `key` names a thanks source for as long as it lives (its form
// token), `name` is its name now.
void ActivitySourceAdded(uint64_t key, const std::string& name);
void ActivitySourceRemoved(uint64_t key);
// Core thread: what the source announced (the GiftReceived JSON, the thanks
// text just drawn), and its state as a control's answer reported it.
void ActivityGiftReceived(uint64_t key, const std::string& name, const std::string& payload);
void ActivityThanksShown(uint64_t key, const std::string& name, const std::string& text);
void ActivityStateReported(uint64_t key, const std::string& name, const nlohmann::json& state);
// Whether a page is open: the sources then keep their reported state fresh.
bool ActivityPageWatched();
// The page's address, empty while it is not served.
std::string ActivityPageUrl();
