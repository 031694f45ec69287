// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/message_window.h"

#include "bridge/runtime_host.h"
#include "bridge/settings_message.h"
#include "channel/channel_events.h"
#include "channel/process_state.h"
#include "channel/thanks_controls.h"
#include "platform/ansi_text.h"

#include <cstring>

namespace {

constexpr int32_t kOpaque = static_cast<int32_t>(0xFF000000u);

struct KeyValue {
    String key;
    String value;
};

// The key before the first bar and everything after it.
KeyValue Split(const String& payload) { return {payload.GetToken(0, u'|'), payload.GetTokenOffset(1, u'|')}; }

void ApplyCommand(ChannelRecord& record, uint64_t command, const String& payload) {
    XElement* settings = record.settings;
    switch (command) {
        case ShowText:
            record.redraw = 1;
            record.text = payload;
            record.thanksShown = false;
            return;
        case LogText:
            Log(u"%s", payload.Array());
            return;
        case SetIntSetting:
        case SetStringSetting:
        case SetColorSetting: {
            if (!settings) return;
            const KeyValue kv = Split(payload);
            if (kv.key.IsEmpty() || kv.value.IsEmpty()) return;
            if (command == SetIntSetting) settings->SetInt(kv.key.Array(), kv.value.ToInt(10));
            else if (command == SetStringSetting) settings->SetString(kv.key.Array(), kv.value.Array());
            else settings->SetInt(kv.key.Array(), kv.value.ToInt(10) | kOpaque);
            return;
        }
        case SetRandomForeColor:
            if (settings && !payload.IsEmpty()) settings->SetInt(u"RandomForeColor", payload.ToInt(10) | kOpaque);
            return;
        case ControlAnswer:
            TakeControlAnswer(record.window, payload);
            return;
        case GiftReceived:
            ReportChannelEvent(settings, ChannelEvent::GiftReceived, payload);
            return;
        case ThanksShown:
            // Only the text it marks: a later text may have replaced it.
            if (payload == record.text) record.thanksShown = true;
            return;
        default:
            return;
    }
}

void HandleCopyData(WindowHandle window, const COPYDATASTRUCT* block) {
    ChannelRecord* record = channelRegistry.FindEntryByWindow(window);
    if (!record || !block) return;
    const String payload = DecodeBlock(*block, asciiMode == 1);
    ApplyCommand(*record, block->dwData, payload);
}

void SwitchAsciiMode(WindowHandle window, int32_t mode) {
    ChannelRecord* record = channelRegistry.FindEntryByWindow(window);
    // A retired channel's source is gone, and its settings with it.
    if (!record || !record->settings) return;
    asciiMode = mode;
    record->settings->SetInt(u"usingASCII", mode);
}

}  // namespace

String DecodeBlock(const COPYDATASTRUCT& block, bool asciiText) {
    if (!block.lpData) return String();
    // ANSI text runs to its zero byte and cbData plays no part: logic
    // assemblies written for Windows count it in their own 8-bit encoding (or
    // in characters), which need not be the length of the bytes the runtime's
    // marshaller hands over.
    if (asciiText) return String(AnsiToUtf16(static_cast<const char*>(block.lpData), SIZE_MAX));
    if (block.cbData == 0) return String();

    // UTF-16: the text up to its NUL within the block, then cut to
    // (cbData - 1) / 2 characters, which drops nothing from a block sent with
    // its terminator counted (or one byte more).
    const size_t units = block.cbData / 2;
    std::u16string text;
    text.reserve(units);
    const auto* bytes = static_cast<const unsigned char*>(block.lpData);
    for (size_t i = 0; i < units; ++i) {
        char16_t unit;
        std::memcpy(&unit, bytes + 2 * i, sizeof unit);  // the block need not be aligned
        if (unit == 0) break;
        text.push_back(unit);
    }
    const int32_t n = (static_cast<int32_t>(block.cbData) - 1) / 2;
    String payload(std::move(text));
    return n > 0 ? payload.Left(static_cast<size_t>(n)) : payload;
}

intptr_t MessageWindowProc(WindowHandle window, uint32_t message, uintptr_t /*wParam*/, intptr_t lParam) {
    switch (message) {
        case WM_DESTROY:
            // The channel keeps no dead window: window 0 means "no channel",
            // so the source's next scene begin or configure makes a new one.
            for (size_t i = 0; i < channelRegistry.Size(); ++i)
                if (channelRegistry[i].window == window) channelRegistry[i].window = 0;
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_COPYDATA:
            HandleCopyData(window, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            return 0;
        case AsciiModeOn:
            SwitchAsciiMode(window, 1);
            return 0;
        case AsciiModeOff:
            SwitchAsciiMode(window, 0);
            return 0;
        default:
            return 0;  // what the default window procedure answers for a hidden window
    }
}

namespace {

// The handshake that tells the logic assembly a new window's number.
void AnnounceWindow(WindowHandle window) {
    if (!RuntimeHostPresent()) return;
    SendLogicCommand(u"setPlatform:4");
    SendLogicCommand(String(u"init:") << WindowNumber(window));
}

}  // namespace

WindowHandle CreateMessageWindow() {
    const WindowHandle window = CreatePlatformWindow(MessageWindowProc);
    AnnounceWindow(window);
    return window;
}

WindowHandle CreateChannel(XElement* settings) {
    ChannelRecord record;
    record.window = CreatePlatformWindow(MessageWindowProc);
    record.innerId = WindowNumberText(record.window);
    record.settings = settings;
    record.redraw = 1;
    if (settings) settings->SetString(u"innerId", record.innerId.Array());
    channelRegistry.Append(record);
    // Announced only once the entry exists: what the logic assembly sends
    // while it handles "init:" must find the channel.
    AnnounceWindow(record.window);
    return record.window;
}
