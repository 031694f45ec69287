// The module as an obs-websocket vendor, "morvik-thanks", for the tools
// streamers drive OBS with (Streamer.bot, SAMMI, Companion, obs-websocket-js):
//
// Requests (requestData names the input by "inputName", or by "inputUuid"
// on OBS Studio 29.1 and later), answered with a JSON object, a failure as
// {"error": "..."}:
//   SendGifts {inputName, gifts: one gift or an array of at most 100, as
//             posted to the gift endpoint} -> {"accepted": N, "duplicates": D}
//   TestThanks, SkipThanks, PauseThanks, ResumeThanks, ClearThanks,
//   GetThanksState {inputName} -> {"queued", "showing", "paused", "received",
//             "managed_heap_bytes"} (the logic assembly's collected heap);
//             the other controls answer the state without the heap, and
//             ClearThanks adds "cleared"
// Events:
//   GiftReceived {inputName, sender, gift, count, value, outcome}
//   ThanksShown  {inputName, text}
//
// obs-websocket calls the requests on its worker threads; each waits at most
// kControlLimit (obs/thanks_controls.h) for the core thread.
#pragma once

#include <string>

struct obs_weak_source;
typedef struct obs_weak_source obs_weak_source_t;

// In obs_module_post_load, once obs-websocket has loaded: registers the
// vendor and its requests. Without obs-websocket one log line says so and
// nothing else changes.
void RegisterWebsocketVendor();

// Emits the event `type` with the fields of `json` (a JSON object) and the
// source's name as "inputName"; nothing without the vendor or the source.
void EmitSourceEvent(obs_weak_source_t* source, const char* type, const std::string& json);
