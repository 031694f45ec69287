// SPDX-License-Identifier: GPL-2.0-or-later
// A source's settings with arbitrary values of any JSON type under every key
// the plug-in reads: the source loads them, the "Set:" message is composed
// from them with its 31 fields, the base size is measured, and (for styles
// small enough to draw quickly) the text is drawn.
#include "bridge/settings_message.h"
#include "channel/channel_registry.h"
#include "channel/process_state.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "render/base_size.h"
#include "source/morvik_thanks_image.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

constexpr const char* kKeys[] = {
    "font", "color", "fontSize", "textOpacity", "backgroundColor", "backgroundOpacity", "RandomColor",
    "RandomModeType", "bold", "italic", "underline", "outline", "outlineOpacity", "outlineColor", "outlineSize",
    "room_name", "thanks_string", "no_thanks_string", "show_second", "show_size", "is_no_thanks",
    "is_use_toolbox", "is_save_record", "save_folder", "gift_limit_mode", "delay_show_second", "is_use_thanks",
    "is_use_answer", "answer_lines", "answer_second", "usingASCII", "baseSizeCX", "baseSizeCY", "RandomForeColor",
    "innerId"};

SceneJson Value(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 8)) {
        case 0: return in.ConsumeIntegral<int32_t>();
        case 1: return in.ConsumeIntegral<int64_t>();
        case 2: return in.ConsumeIntegral<uint64_t>();
        case 3: return in.ConsumeFloatingPoint<double>();
        case 4: return in.PickValueInArray({std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 1e9, -0.0});
        case 5: return in.ConsumeRandomLengthString(64);
        case 6: return in.ConsumeBool();
        case 7: return SceneJson::array({1, "x"});
        default: return nullptr;
    }
}

size_t CountFields(const std::u16string& message) {
    size_t fields = 1;
    for (size_t at = 0; (at = message.find(u"{|}", at)) != std::u16string::npos; at += 3) ++fields;
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogToStderr(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CairoGraphics graphics;
    static ScopedGraphicsSystem scoped{&graphics};
    FuzzedDataProvider in(data, size);

    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"data");
    SceneJson& object = *static_cast<JsonElement*>(settings)->Node();
    for (int n = in.ConsumeIntegralInRange(0, 24); n > 0; --n) object[in.PickValueInArray(kKeys)] = Value(in);
    const std::string text = in.ConsumeRandomLengthString(80);

    channelRegistry.Clear();
    struct Deleter {
        void operator()(ImageSource* s) const { delete s; }
    };
    std::unique_ptr<ImageSource, Deleter> source(CreateThanksSource(settings));
    if (!source) std::abort();
    auto& thanks = static_cast<MorvikThanksImage&>(*source);

    // Texts holding the separator give the receiver more fields; otherwise
    // there are exactly 31.
    const String message = ComposeSettingsMessage(settings, 5);
    bool textsHoldSeparator = false;
    for (const char* key : {"font", "room_name", "thanks_string", "no_thanks_string", "save_folder"})
        textsHoldSeparator |= settings->GetString(String(key).Array(), u"").Text().find(u"{|}") != std::u16string::npos;
    if (!textsHoldSeparator && CountFields(message.Text()) != 31) std::abort();
    BuildSettingsMessage(settings, 5);

    const TextStyle& style = thanks.Style();
    const bool quick = style.fontSize <= 200 && std::abs(style.outlineSize) <= 64.0f;
    if (quick) {
        MeasureBaseSize(settings, String(text.c_str()));
        displayText = String(text.c_str());
        thanks.UpdateTexture();
        thanks.Render(Vect2{0, 0}, Vect2{thanks.GetSize().x, thanks.GetSize().y});
    }
    // Saved as the host saves: the values put in above are raw bytes, not
    // always UTF-8, as a hand-edited file's could be.
    (void)scene.Json().dump(2, ' ', false, SceneJson::error_handler_t::replace);
    source.reset();
    channelRegistry.Clear();
    displayText = String();
    asciiMode = 0;
    return 0;
}
