// SPDX-License-Identifier: GPL-2.0-or-later
#include "bridge/settings_message.h"
#include "channel/message_window.h"
#include "channel/process_state.h"
#include "host/host_control.h"
#include "host/scene_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<char> Utf16Block(std::u16string_view text, bool terminated = true) {
    std::vector<char> bytes((text.size() + (terminated ? 1 : 0)) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    return bytes;
}

COPYDATASTRUCT Block(uint64_t command, std::vector<char>& bytes, uint32_t size) {
    return COPYDATASTRUCT{command, size, bytes.data()};
}

TEST(DecodeBlock, Utf16TextIsCutToTheBlockAndItsCount) {
    std::vector<char> abc = Utf16Block(u"abc");
    auto decode = [&](uint32_t size) { return DecodeBlock(Block(1, abc, size), false).ToUtf8(); };
    EXPECT_EQ(decode(8), "abc");
    EXPECT_EQ(decode(7), "abc");
    EXPECT_EQ(decode(6), "ab");
    // Blocks too short for the text are read only as far as they go.
    EXPECT_EQ(decode(2), "a");
    EXPECT_EQ(decode(1), "");
    EXPECT_EQ(decode(0), "");
    COPYDATASTRUCT null{1, 8, nullptr};
    EXPECT_EQ(DecodeBlock(null, false).ToUtf8(), "");

    // No terminator: the text ends with the block.
    std::vector<char> open = Utf16Block(u"感谢Alice", false);
    EXPECT_EQ(DecodeBlock(Block(1, open, static_cast<uint32_t>(open.size())), false).ToUtf8(), "感谢Alic");
}

TEST(DecodeBlock, AnsiTextRunsToItsZeroWhateverCbDataSays) {
    std::vector<char> text = {'a', 'b', 'c', 0, 'x'};
    EXPECT_EQ(DecodeBlock(Block(1, text, 5), true).ToUtf8(), "abc");
    EXPECT_EQ(DecodeBlock(Block(1, text, 2), true).ToUtf8(), "abc");
    EXPECT_EQ(DecodeBlock(Block(1, text, 0), true).ToUtf8(), "abc");
    // Counted in characters, as Windows code often counts ANSI text.
    const std::string thanks = "感谢Bob";
    std::vector<char> counted(thanks.begin(), thanks.end());
    counted.push_back(0);
    EXPECT_EQ(DecodeBlock(Block(1, counted, 6), true).ToUtf8(), thanks);
    std::vector<char> broken = {'o', 'k', static_cast<char>(0xFF), 0};
    EXPECT_EQ(DecodeBlock(Block(1, broken, 4), true).Text(), std::u16string(u"ok\uFFFD"));
}

class MessageWindow : public ::testing::Test {
protected:
    void SetUp() override {
        channelRegistry.Clear();
        asciiMode = 0;
        SetLogToStderr(false);
        settings = scene.Root()->CreateElement(u"a");
        other = scene.Root()->CreateElement(u"b");
        window = CreateChannel(settings);
        otherWindow = CreateChannel(other);
        ASSERT_NE(window, 0);
    }
    void TearDown() override {
        DestroyWindow(window);
        DestroyWindow(otherWindow);
        channelRegistry.Clear();
        asciiMode = 0;
        SetLogToStderr(true);
    }

    intptr_t Send(uint64_t command, std::u16string_view text, WindowHandle to = 0) {
        std::vector<char> bytes = Utf16Block(text);
        COPYDATASTRUCT block = Block(command, bytes, static_cast<uint32_t>(bytes.size()));
        return SendMessageW(to ? to : window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&block));
    }
    ChannelRecord& Record() { return *channelRegistry.FindEntryByWindow(window); }

    SceneDocument scene;
    XElement* settings = nullptr;
    XElement* other = nullptr;
    WindowHandle window = 0;
    WindowHandle otherWindow = 0;
};

TEST_F(MessageWindow, ChannelCreationStoresInnerIdAndAppendsALiveEntry) {
    EXPECT_TRUE(settings->GetString(u"innerId") == WindowNumberText(window));
    EXPECT_NE(window, otherWindow);
    EXPECT_EQ(Record().redraw, 1);
    EXPECT_TRUE(Record().text.IsEmpty());
    EXPECT_EQ(Record().settings, settings);
}

TEST_F(MessageWindow, ShowTextStoresTheTextAndAsksForARedraw) {
    Record().redraw = 0;
    EXPECT_EQ(Send(ShowText, u"感谢Alice赠送的3个火箭"), 0);
    EXPECT_TRUE(Record().text == u"感谢Alice赠送的3个火箭");
    EXPECT_EQ(Record().redraw, 1);
    Send(ShowText, u"");
    EXPECT_TRUE(Record().text.IsEmpty());
    EXPECT_EQ(Record().redraw, 1);
}

TEST_F(MessageWindow, SettingCommandsSplitAtTheFirstBar) {
    Send(SetIntSetting, u"fontSize|72");
    Send(SetIntSetting, u"bold|");
    Send(SetIntSetting, u"|5");
    Send(SetIntSetting, u"italic");
    Send(SetStringSetting, u"a|b|c");
    Send(SetStringSetting, u"font|Liberation Serif");
    Send(SetColorSetting, u"color|16711680");
    Send(SetRandomForeColor, u"255");
    Send(SetRandomForeColor, u"");
    Send(0, u"fontSize|1");
    Send(204, u"fontSize|2");
    EXPECT_EQ(settings->GetInt(u"fontSize", 0), 72);
    EXPECT_FALSE(settings->HasItem(u"bold"));
    EXPECT_FALSE(settings->HasItem(u""));
    EXPECT_FALSE(settings->HasItem(u"italic"));
    EXPECT_TRUE(settings->GetString(u"a") == u"b|c");
    EXPECT_TRUE(settings->GetString(u"font") == u"Liberation Serif");
    EXPECT_EQ(settings->GetInt(u"color", 0), -65536);
    EXPECT_EQ(settings->GetInt(u"RandomForeColor", 0), -16776961);
    EXPECT_FALSE(other->HasItem(u"fontSize"));
}

TEST_F(MessageWindow, LogTextIsWrittenUnchanged) {
    LogCapture capture;
    Send(LogText, u"100%s %d 礼物");
    const auto lines = capture.Of(LogKind::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].ToUtf8(), "100%s %d 礼物");
}

TEST_F(MessageWindow, AsciiSwitchIsProcessWideButRecordedOnlyInItsOwnSource) {
    EXPECT_EQ(SendMessageW(window, AsciiModeOn, 0, 0), 0);
    EXPECT_EQ(asciiMode, 1);
    EXPECT_EQ(settings->GetInt(u"usingASCII", -1), 1);
    EXPECT_FALSE(other->HasItem(u"usingASCII"));

    std::vector<char> ansi = {'f', 'o', 'n', 't', 'S', 'i', 'z', 'e', '|', '6', '0', 0};
    COPYDATASTRUCT block{SetIntSetting, static_cast<uint32_t>(ansi.size()), ansi.data()};
    SendMessageW(otherWindow, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&block));
    EXPECT_EQ(other->GetInt(u"fontSize", 0), 60);

    SendMessageW(otherWindow, AsciiModeOff, 0, 0);
    EXPECT_EQ(asciiMode, 0);
    EXPECT_EQ(other->GetInt(u"usingASCII", -1), 0);

    // A window without a record changes nothing.
    const WindowHandle stray = CreatePlatformWindow(MessageWindowProc);
    SendMessageW(stray, AsciiModeOn, 0, 0);
    EXPECT_EQ(asciiMode, 0);
    EXPECT_EQ(Send(ShowText, u"x", stray), 0);
    DestroyWindow(stray);
}

TEST_F(MessageWindow, ARetiredChannelStillShowsTextButWritesNoSettings) {
    channelRegistry.Retire(settings);
    LogCapture capture;
    Send(SetIntSetting, u"fontSize|72");
    Send(SetRandomForeColor, u"255");
    SendMessageW(window, AsciiModeOn, 0, 0);
    Send(ShowText, u"still here");
    Send(LogText, u"logged");
    EXPECT_FALSE(settings->HasItem(u"fontSize"));
    EXPECT_FALSE(settings->HasItem(u"RandomForeColor"));
    EXPECT_EQ(asciiMode, 0);
    EXPECT_TRUE(Record().text == u"still here");
    EXPECT_EQ(capture.Of(LogKind::Line).size(), 1u);
}

TEST_F(MessageWindow, CloseDestroysTheWindowAndTheChannelForgetsIt) {
    EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    const ChannelRecord* entry = channelRegistry.FindEntryByInnerId(settings->GetString(u"innerId"), settings);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->window, 0);  // the next scene begin makes a new channel
    EXPECT_EQ(channelRegistry.FindWindowByInnerId(settings->GetString(u"innerId"), settings), 0);
    EXPECT_EQ(Send(ShowText, u"gone"), 0);
}

TEST_F(MessageWindow, MessagesFromAnotherThreadArriveOnThisOneInOrder) {
    const std::thread::id owner = std::this_thread::get_id();
    std::thread sender([&] {
        for (int i = 0; i < 50; ++i) Send(ShowText, std::u16string(u"gift ") + static_cast<char16_t>(u'0' + i % 10));
        Send(SetIntSetting, u"fontSize|99");
    });
    // The sender blocks in each call until this thread pumps it through.
    int handled = 0;
    while (handled < 51) {
        WaitForMessages(std::chrono::milliseconds(100));
        handled += static_cast<int>(PumpMessages());
    }
    sender.join();
    EXPECT_EQ(std::this_thread::get_id(), owner);
    EXPECT_TRUE(Record().text == u"gift 9");
    EXPECT_EQ(settings->GetInt(u"fontSize", 0), 99);
}

}  // namespace
