// SPDX-License-Identifier: GPL-2.0-or-later
// The module as an obs-websocket vendor, "morvik-thanks", for the tools
// streamers drive OBS with (Streamer.bot, SAMMI, Companion, obs-websocket-js):
//
// Requests (obs/vendor_vocabulary.h; requestData names the input by
// "inputName", or by "inputUuid" on OBS Studio 29.1 and later), answered
// with a JSON object, a failure as {"error": "..."}:
//   SendGifts {inputName, gifts: one gift or an array of at most 100, as
//             posted to the gift endpoint} -> {"accepted": N, "duplicates": D}
//   ThankAgain {inputName, giftId: the "gift_id" of a GiftReceived, a
//             number} -> the state, the gift's thanks queued again
//   TestThanks, SkipThanks, PauseThanks, ResumeThanks, ClearThanks,
//   GetThanksState {inputName} -> {"queued", "showing", "paused", "received",
//             "managed_heap_bytes"} (the logic assembly's collected heap);
//             the other controls answer the state without the heap, and
//             ClearThanks adds "cleared"
// Events:
//   GiftReceived {inputName, sender, gift, count, value, outcome, gift_id}
//             (no gift_id for a "duplicate" or "refused" gift)
//   ThanksShown  {inputName, text}
//
// obs-websocket calls the requests on its worker threads, and those of a
// "SerialFrame" batch on OBS's graphics thread (ThanksSource::Control says
// how long each may wait). The vendor is dropped when OBS's frontend says
// it exits, before obs-websocket can be unloaded.
#pragma once

#include <string>

struct VendorEvent;  // obs/vendor_vocabulary.h
struct obs_weak_source;
typedef struct obs_weak_source obs_weak_source_t;

// In obs_module_post_load, once obs-websocket has loaded: registers the
// vendor and its requests. Without obs-websocket, or without OBS's frontend
// (which says when to let go of it), one log line says so and nothing else
// changes.
void RegisterWebsocketVendor();
// In obs_module_unload: whatever obs-websocket handed out is not used again
// (nothing of it is called: it may be gone), and the frontend calls this
// module no more.
void ForgetWebsocketVendor();

// Emits `event` with the source's name as "inputName" and `text`: in the
// event's text field, or, for an event without one, as a JSON object whose
// fields it carries. Nothing without the vendor or the source.
void EmitSourceEvent(obs_weak_source_t* source, const VendorEvent& event, const std::string& text);
