// SPDX-License-Identifier: GPL-2.0-or-later
// The inbound path: whatever a logic assembly sends to a channel's window.
// Each input is a run of messages (any number, command code, block and
// cbData no larger than the block, in either text mode) sent through
// SendMessageW to a live channel, to a retired channel whose source is gone,
// or to a window number that does not exist. The scene holding the settings
// must still save afterwards.
#include "bridge/settings_message.h"
#include "channel/message_window.h"
#include "channel/process_state.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "platform/ansi_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kMessages[] = {WM_DESTROY, WM_CLOSE, WM_COPYDATA, AsciiModeOn, AsciiModeOff};
constexpr uint64_t kCommands[] = {ShowText,           SetIntSetting, SetStringSetting, SetColorSetting, LogText,
                                  SetRandomForeColor, ControlAnswer, GiftReceived,     ThanksShown};
constexpr const char* kCharsets[] = {"UTF-8", "GB18030", "CP1252", "SHIFT_JIS", "no-such-charset"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogToStderr(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    channelRegistry.Clear();
    asciiMode = in.ConsumeBool() ? 1 : 0;

    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"live");
    XElement* goneSettings = scene.Root()->CreateElement(u"gone");
    const WindowHandle live = CreateChannel(settings);
    // A channel whose source was destroyed: retired, its window still open.
    const WindowHandle retired = CreateChannel(goneSettings);
    channelRegistry.Retire(goneSettings);
    const WindowHandle windows[] = {live, retired, live + 1000, 0};

    for (int n = 0; n < 64 && in.remaining_bytes() > 0; ++n) {
        const WindowHandle to = windows[in.ConsumeIntegralInRange<size_t>(0, 3)];
        const uint32_t message = in.ConsumeBool() ? in.PickValueInArray(kMessages) : in.ConsumeIntegral<uint32_t>();
        const uint64_t command = in.ConsumeBool() ? in.PickValueInArray(kCommands) : in.ConsumeIntegral<uint64_t>();
        std::vector<uint8_t> block = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 512));
        // A UTF-16 block is read only up to cbData, so cbData never exceeds
        // the buffer; ANSI text runs to its zero byte, which its format
        // requires. A block of its own heap allocation makes ASan see any
        // read past it.
        if (asciiMode == 1) block.push_back(0);
        const uint32_t cbData = in.ConsumeIntegralInRange<uint32_t>(0, static_cast<uint32_t>(block.size()));
        COPYDATASTRUCT copy{command, cbData, block.empty() ? nullptr : block.data()};
        const intptr_t lParam = message == WM_COPYDATA ? reinterpret_cast<intptr_t>(&copy) : 0;
        if (SendMessageW(to, message, in.ConsumeIntegral<uintptr_t>(), lParam) != 0) std::abort();

        if (in.ConsumeBool()) {
            const char* charset = in.PickValueInArray(kCharsets);
            CharsetToUtf16(reinterpret_cast<const char*>(block.data()), cbData, charset);
        }
    }

    // Whatever was stored must still be a saveable scene.
    (void)scene.Json().dump();
    if (channelRegistry.Size() != 2) std::abort();
    DestroyWindow(live);
    DestroyWindow(retired);
    channelRegistry.Clear();
    asciiMode = 0;
    return 0;
}
