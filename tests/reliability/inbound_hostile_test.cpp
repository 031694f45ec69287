// SPDX-License-Identifier: GPL-2.0-or-later
// Hostile inbound messages: blocks whose cbData disagrees with their text,
// texts without a terminator, lone surrogates, bytes no charset has, a 10 MB
// text, unknown codes, and messages to windows and sources that are gone.
// Every message is answered 0, the host goes on, and what is stored in the
// scene still saves as valid UTF-8.
#include "bridge/settings_message.h"
#include "channel/message_window.h"
#include "channel/process_state.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "source/morvik_thanks_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

class HostileInbound : public ::testing::Test {
protected:
    void SetUp() override {
        channelRegistry.Clear();
        asciiMode = 0;
        SetLogToStderr(false);
        settings = scene.Root()->CreateElement(u"data");
        window = CreateChannel(settings);
        ASSERT_NE(window, 0);
    }
    void TearDown() override {
        DestroyWindow(window);
        channelRegistry.Clear();
        asciiMode = 0;
        SetLogToStderr(true);
    }

    // Sends `bytes` as the block with the given cbData (never more than the
    // buffer holds: the block is read only up to cbData).
    intptr_t Send(uint64_t command, std::vector<uint8_t> bytes, uint32_t cbData, WindowHandle to = 0) {
        EXPECT_LE(cbData, bytes.size());
        COPYDATASTRUCT block{command, cbData, bytes.empty() ? nullptr : bytes.data()};
        return SendMessageW(to ? to : window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&block));
    }
    static std::vector<uint8_t> Utf16(std::u16string_view text, size_t extraZeros = 2) {
        std::vector<uint8_t> bytes(text.size() * 2 + extraZeros, 0);
        std::memcpy(bytes.data(), text.data(), text.size() * 2);
        return bytes;
    }
    std::u16string Shown() { return channelRegistry.FindEntryByWindow(window)->text.Text(); }
    std::string Saved() { return scene.Json().dump(); }  // throws on invalid UTF-8

    SceneDocument scene;
    XElement* settings = nullptr;
    WindowHandle window = 0;
};

TEST_F(HostileInbound, CbDataLargerOrSmallerThanTheTextReadsOnlyTheBlock) {
    // Larger: a 64-byte buffer holding a short text; the text ends at its NUL.
    std::vector<uint8_t> roomy = Utf16(u"hello", 64 - 10);
    EXPECT_EQ(Send(ShowText, roomy, 64), 0);
    EXPECT_EQ(Shown(), u"hello");
    // Smaller: cut at cbData, an odd count drops the half unit.
    EXPECT_EQ(Send(ShowText, Utf16(u"hello"), 5), 0);
    EXPECT_EQ(Shown(), u"he");
    EXPECT_EQ(Send(ShowText, Utf16(u"hello"), 1), 0);
    EXPECT_EQ(Shown(), u"");
    // No terminator at all: the text ends with the block, less its last unit
    // (the one a terminator would take).
    EXPECT_EQ(Send(ShowText, Utf16(u"hello", 0), 10), 0);
    EXPECT_EQ(Shown(), u"hell");
    // cbData 0 or no block: an empty text.
    EXPECT_EQ(Send(ShowText, Utf16(u"x"), 0), 0);
    EXPECT_EQ(Shown(), u"");
    COPYDATASTRUCT none{ShowText, 100, nullptr};
    EXPECT_EQ(SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&none)), 0);
    // No COPYDATASTRUCT at all.
    EXPECT_EQ(SendMessageW(window, WM_COPYDATA, 0, 0), 0);
}

TEST_F(HostileInbound, LoneSurrogatesAreKeptForDrawingAndSavedAsReplacementCharacters) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'|', char16_t(0xDC00)};
    EXPECT_EQ(Send(ShowText, Utf16(lone), static_cast<uint32_t>(lone.size() * 2 + 2)), 0);
    EXPECT_EQ(Shown(), lone);
    const std::u16string setting = u"font|x" + std::u16string(1, char16_t(0xDBFF));
    EXPECT_EQ(Send(SetStringSetting, Utf16(setting), static_cast<uint32_t>(setting.size() * 2 + 2)), 0);
    EXPECT_NE(Saved().find("x\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(settings->GetString(u"font", u"").Text(), u"x\uFFFD");
}

TEST_F(HostileInbound, InvalidAnsiBytesBecomeReplacementCharacters) {
    asciiMode = 1;
    EXPECT_EQ(Send(ShowText, {'o', 'k', 0xFF, 0xC3, 0}, 5), 0);
    EXPECT_EQ(Shown(), u"ok\uFFFD\uFFFD");
    EXPECT_EQ(Send(SetStringSetting, {'f', 'o', 'n', 't', '|', 0xE6, 0x84, 0}, 7), 0);  // cut-off sequence
    EXPECT_EQ(settings->GetString(u"font", u"").Text(), u"\uFFFD");
    EXPECT_NO_THROW(Saved());
}

TEST_F(HostileInbound, ATenMegabyteTextIsTakenWhole) {
    const std::u16string big(5u << 20, u'谢');  // 10 MB of UTF-16
    EXPECT_EQ(Send(ShowText, Utf16(big), static_cast<uint32_t>(big.size() * 2 + 2)), 0);
    EXPECT_EQ(Shown().size(), big.size());
    asciiMode = 1;
    std::vector<uint8_t> ansi(10u << 20, 'a');
    ansi[0] = 'k', ansi[1] = '|';
    ansi.push_back(0);  // ANSI text runs to its zero byte
    EXPECT_EQ(Send(SetStringSetting, ansi, 10u << 20), 0);
    EXPECT_EQ(settings->GetString(u"k", u"").Length(), (10u << 20) - 2);
}

TEST_F(HostileInbound, UnknownCodesAndMessagesAreAnsweredZeroAndChangeNothing) {
    const std::string before = Saved();
    for (uint64_t code : {uint64_t{0}, uint64_t{2}, uint64_t{100}, uint64_t{104}, uint64_t{202}, ~uint64_t{0}})
        EXPECT_EQ(Send(code, Utf16(u"fontSize|5"), 22), 0);
    for (uint32_t message : {0u, 1u, 3u, 15u, 73u, 75u, 1024u, 1028u, 1031u, 0xFFFFFFFFu})
        EXPECT_EQ(SendMessageW(window, message, 12345, 67890), 0);
    EXPECT_EQ(Saved(), before);
    // Setting commands without a bar, an empty key or an empty value.
    for (std::u16string_view text : {u"fontSize", u"|5", u"fontSize|", u"|"})
        EXPECT_EQ(Send(SetIntSetting, Utf16(text), static_cast<uint32_t>(text.size() * 2 + 2)), 0);
    EXPECT_EQ(Saved(), before);
}

TEST_F(HostileInbound, MessagesToDestroyedWindowsAndForDestroyedSourcesGoNowhere) {
    // A destroyed window: SendMessageW finds nothing and answers 0.
    const WindowHandle gone = window;
    EXPECT_EQ(SendMessageW(gone, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(channelRegistry.FindEntryByWindow(gone), nullptr);
    EXPECT_EQ(Send(ShowText, Utf16(u"late"), 10, gone), 0);
    EXPECT_EQ(SendMessageW(gone, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(PostMessageW(gone, AsciiModeOn, 0, 0), 0);
    EXPECT_EQ(SendMessageW(0, WM_COPYDATA, 0, 0), 0);

    // A destroyed source: its channel is retired, the window stays open, and
    // setting commands must not reach the freed settings element.
    XElement* other = scene.Root()->CreateElement(u"other");
    window = CreateChannel(other);
    channelRegistry.Retire(other);
    const std::string before = Saved();
    EXPECT_EQ(Send(SetIntSetting, Utf16(u"fontSize|5"), 22), 0);
    EXPECT_EQ(Send(SetRandomForeColor, Utf16(u"5"), 4), 0);
    EXPECT_EQ(SendMessageW(window, AsciiModeOn, 0, 0), 0);
    EXPECT_EQ(Saved(), before);
    EXPECT_EQ(asciiMode, 0);
}

// A source whose innerId changed after its channel was made (a pushed
// "innerId", a reverted dialog), then destroyed with its settings: its
// channel is retired all the same, so a later setting command for the window
// writes nowhere (under AddressSanitizer a write through the old pointer
// would be a heap-use-after-free).
TEST_F(HostileInbound, ASourceWhoseInnerIdChangedLeavesNoPointerToItsFreedSettings) {
    auto document = std::make_unique<SceneDocument>();
    XElement* data = document->Root()->CreateElement(u"data");
    std::unique_ptr<ImageSource> source(CreateThanksSource(data));
    const WindowHandle channel = CreateChannel(data);
    data->SetString(u"innerId", u"12345");
    source.reset();
    document.reset();

    EXPECT_EQ(Send(SetIntSetting, Utf16(u"fontSize|5"), 22, channel), 0);
    EXPECT_EQ(SendMessageW(channel, AsciiModeOn, 0, 0), 0);
    const ChannelRecord* entry = channelRegistry.FindEntryByWindow(channel);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->settings, nullptr);
    DestroyWindow(channel);
}

}  // namespace
