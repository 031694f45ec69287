// SPDX-License-Identifier: GPL-2.0-or-later
// What the module's obs-websocket vendor offers: the requests it registers
// and the events it emits, as the lists its code registers and emits from.
// The obs-websocket reference page lists them, and a test holds that page
// to these lists. (Free of libobs's and the host's headers, so that the test
// reads them without either.)
#pragma once

#include <array>

struct VendorRequest {
    const char* type;      // the vendor request type a client calls
    const char* action;    // the control it runs (channel/thanks_controls.h)
    const char* argument;  // the requestData field handed to the control, or nullptr
};

inline constexpr std::array<VendorRequest, 8> kVendorRequests{{
    {"SendGifts", "gifts", "gifts"},
    {"ThankAgain", "again", "giftId"},
    {"TestThanks", "test", nullptr},
    {"SkipThanks", "skip", nullptr},
    {"PauseThanks", "pause", nullptr},
    {"ResumeThanks", "resume", nullptr},
    {"ClearThanks", "clear", nullptr},
    {"GetThanksState", "state", nullptr},
}};

// Every request names its thanks source by one of these (the UUID on OBS
// Studio 29.1 and later); every event carries the source's name.
inline constexpr const char* kInputNameField = "inputName";
inline constexpr const char* kInputUuidField = "inputUuid";

struct VendorEvent {
    const char* type;
    // The field the channel event's text goes into, or nullptr when that
    // text is a JSON object whose fields the event carries as they came
    // (a GiftReceived's are the logic assembly's announcement).
    const char* textField;
};

inline constexpr VendorEvent kGiftReceivedEvent{"GiftReceived", nullptr};
inline constexpr VendorEvent kThanksShownEvent{"ThanksShown", "text"};
inline constexpr std::array<VendorEvent, 2> kVendorEvents{kGiftReceivedEvent, kThanksShownEvent};
