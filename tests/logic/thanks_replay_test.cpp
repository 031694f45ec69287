// SPDX-License-Identifier: GPL-2.0-or-later
// The reference logic assembly's thanks text, end to end through the real
// runtime: a room replayed on the assembly's timer thread reaches the
// source's channel through the test thread's pump and is drawn on the next
// frame; the idle text, looping, "stop:", unreadable rooms and ANSI text.
#include "logic_test_support.h"

#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace logic_test {
namespace {

class ThanksReplay : public LogicTest {
protected:
    // A source whose room is `room` (a gift script written into the test's
    // folder, or a built-in room name when `script` is false).
    SourcePtr SourceForRoom(const std::string& room, bool script = true) {
        element_ = NewSourceElement(("thanks" + std::to_string(++sources_)).c_str());
        data_ = element_->CreateElement(u"data");
        const std::string roomName = script ? WriteFile(folder_ / "room.txt", room).string() : room;
        data_->SetString(u"room_name", String(roomName.c_str()).Array());
        data_->SetString(u"thanks_string", u"$sender$ $gift$");
        data_->SetInt(u"show_second", 0);  // each thanks until the next
        data_->SetInt(u"delay_show_second", 0);
        data_->SetInt(u"is_no_thanks", 0);
        data_->SetInt(u"color", static_cast<int>(0xFFCC2020));  // visible in the written PNG
        return SourcePtr(CreateThanksSource(data_));
    }

    int sources_ = 0;
    XElement* element_ = nullptr;
    XElement* data_ = nullptr;
};

TEST_F(ThanksReplay, AGiftBecomesTheFilledTemplateAndIsDrawnOnTheNextFrame) {
    auto source = SourceForRoom("# one gift\n0|小明|火箭|2|连击x3\n");
    data_->SetString(u"thanks_string", u"感谢$sender$赠送的$num$个$gift$ $combo$ ($sender$)");
    source->BeginScene();
    ASSERT_EQ(channelRegistry.Size(), 1u);
    const std::string number = std::to_string(WindowNumber(Entry().window));
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Tavrel: channel " + number + " started, room " +
                                                   (folder_ / "room.txt").string() + ", 1 gifts"});

    // The text comes from the assembly's timer thread: it waits in the
    // window's queue until this thread, the window's owner, pumps.
    ASSERT_TRUE(WaitForMessages(std::chrono::seconds(60)));
    EXPECT_TRUE(Entry().text.IsEmpty());
    ASSERT_TRUE(PumpUntil([&] { return !Entry().text.IsEmpty(); }));
    EXPECT_EQ(Entry().text.ToUtf8(), "感谢小明赠送的2个火箭 连击x3 (小明)");

    const std::vector<std::string> journal = Journal();
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[0], "setPlatform:4");
    EXPECT_EQ(journal[1], "init:" + number);
    EXPECT_EQ(journal[2].rfind("Set:" + number + "{|}", 0), 0u);
    EXPECT_EQ(journal[3], "start:" + number);

    source->Preprocess();
    EXPECT_EQ(displayText.ToUtf8(), "感谢小明赠送的2个火箭 连击x3 (小明)");
    const SourceTexture& texture = static_cast<MorvikThanksImage&>(*source).TextureState();
    ASSERT_NE(texture.texture, nullptr);
    graphics.ClearCanvas(0);
    source->Render({0, 0}, source->GetSize());  // drawn at its pixel size
    EXPECT_EQ(graphics.WriteCanvasPng((folder_ / "thanks.png").string()), "");
    const int inkRight = CanvasInkRight();
    // Ink across the text's width, not just a glyph or two.
    EXPECT_GT(inkRight, texture.width / 2);
    EXPECT_LT(inkRight, texture.width);
}

TEST_F(ThanksReplay, StopEndsTheReplayWhileItsThreadWaits) {
    // Each thanks text is followed by its ThanksShown (302) and its
    // GiftReceived (301). B is due well after A's three messages arrive,
    // even on a loaded machine.
    auto source = SourceForRoom("0|A|rose|1|\n2|B|rose|1|\n");
    const auto started = std::chrono::steady_clock::now();
    source->BeginScene();
    ASSERT_EQ(PumpMessagesUntilCount(3), std::vector<std::string>{"A rose"});
    source->EndScene();
    EXPECT_EQ(Journal().back(), "stop:" + std::to_string(WindowNumber(Entry().window)));

    // Nothing arrives until a second past B's time.
    EXPECT_EQ(PumpFor(std::max(started + std::chrono::seconds(3),
                               std::chrono::steady_clock::now() + std::chrono::seconds(1))),
              0u);
    EXPECT_TRUE(Entry().text.IsEmpty());

    // A new scene begin replays the room from its start.
    source->BeginScene();
    EXPECT_EQ(PumpMessagesUntilCount(6), (std::vector<std::string>{"A rose", "B rose"}));

    // Stopped while its thread waits in SendMessageW for this thread's pump:
    // "stop:" returns at once, the text on its way arrives, no later one.
    // A's text and its GiftReceived come from two threads in either order;
    // its ThanksShown only once the text is taken. Once two are queued, the
    // text is one of them.
    std::atomic<int> queued{0};
    SetMessageArrivalNotice([](void* count) { ++*static_cast<std::atomic<int>*>(count); }, &queued);
    source->BeginScene();
    for (const auto within = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         queued < 2 && std::chrono::steady_clock::now() < within;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    SetMessageArrivalNotice(nullptr, nullptr);
    ASSERT_EQ(queued, 2);
    source->EndScene();
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"A rose"});
    EXPECT_EQ(PumpFor(std::chrono::steady_clock::now() + std::chrono::seconds(1)), 0u);
}

TEST_F(ThanksReplay, TheIdleTextFramesEachThanksAndALoopingRoomStartsOver) {
    auto source = SourceForRoom("0.2|A|rose|1|\n");
    data_->SetInt(u"is_no_thanks", 1);
    data_->SetString(u"no_thanks_string", u"o(∩_∩)o 送礼物上电视啦");
    data_->SetInt(u"show_second", 1);
    source->BeginScene();
    EXPECT_EQ(CollectTexts(3),
              (std::vector<std::string>{"o(∩_∩)o 送礼物上电视啦", "A rose", "o(∩_∩)o 送礼物上电视啦"}));

    // Without the idle text a thanks runs out as a blank, which the source
    // draws as nothing: an empty text would leave the thanks on screen.
    data_->SetInt(u"is_no_thanks", 0);
    EXPECT_FALSE(ConfigureTextSource(element_, false));  // no form: cancelled, but the settings went out
    source->BeginScene();
    EXPECT_EQ(CollectTexts(2), (std::vector<std::string>{"A rose", " "}));
    Entry().text = u" ";
    source->Preprocess();
    EXPECT_TRUE(displayText.IsEmpty());
    Entry().text = String();

    // A looping room starts over until stopped; with "show_second" 0 each
    // thanks stays until the next one.
    WriteFile(folder_ / "room.txt", "loop 0.2\n0|A|rose|1|\n");
    data_->SetInt(u"show_second", 0);
    EXPECT_FALSE(ConfigureTextSource(element_, false));
    source->BeginScene();
    EXPECT_EQ(CollectTexts(3), (std::vector<std::string>{"A rose", "A rose", "A rose"}));
    source->EndScene();
}

TEST_F(ThanksReplay, RoomsThatCannotBePlayedAreReportedInTheLog) {
    auto missing = SourceForRoom("/nonexistent/room.txt", false);
    missing->BeginScene();
    auto bad = SourceForRoom("x|y\n1|A||1|\n1|A|rose|0|\nloop\nloop -1\n\n# fine\n0|A|rose|1|\n");
    bad->BeginScene();
    auto none = SourceForRoom("", false);
    none->BeginScene();
    auto demo = SourceForRoom("demo", false);
    demo->BeginScene();
    auto example = SourceForRoom(LOGIC_DEMO_ROOM, false);
    example->BeginScene();

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find("started, room /nonexistent/room.txt: cannot read the gift script: "), std::string::npos);
    EXPECT_NE(lines[1].find(", 1 gifts, 5 bad lines skipped"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(" started, no room"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(" started, room demo, 5 gifts"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("demo_gifts.txt, 10 gifts"), std::string::npos) << lines[4];  // every line fits
    EXPECT_EQ(lines[4].find("bad lines"), std::string::npos) << lines[4];

    // Only the two playable rooms send text.
    ASSERT_TRUE(PumpUntil([&] { return !channelRegistry[3].text.IsEmpty(); }));
    EXPECT_EQ(channelRegistry[3].text.ToUtf8(), "小明 火箭");
    EXPECT_EQ(channelRegistry[1].text.ToUtf8(), "A rose");
    EXPECT_TRUE(channelRegistry[0].text.IsEmpty());
    EXPECT_TRUE(channelRegistry[2].text.IsEmpty());
}

TEST_F(ThanksReplay, AnAnsiChannelSendsLocaleTextAndSwitchesBackWhenItsSettingsDo) {
    auto source = SourceForRoom("0|小明|火箭|1|\n");
    data_->SetInt(u"usingASCII", 1);
    source->BeginScene();
    EXPECT_EQ(Journal()[2], "ASCII");
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"小明 火箭"});
    EXPECT_EQ(asciiMode, 1);

    // A "Set:" without "ASCII": the assembly switches the channel back
    // (1030), which the plug-in records in the source's settings.
    data_->SetInt(u"usingASCII", 2);
    EXPECT_FALSE(ConfigureTextSource(element_, false));
    EXPECT_EQ(data_->GetInt(u"usingASCII", -1), 0);
    EXPECT_EQ(asciiMode, 0);
    source->BeginScene();
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"小明 火箭"});
}

}  // namespace
}  // namespace logic_test
