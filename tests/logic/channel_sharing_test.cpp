// SPDX-License-Identifier: GPL-2.0-or-later
// Channels and the sources they belong to, against the real runtime: a saved
// innerId that names another source's live window (a duplicated source, a
// scene saved by an earlier run) does not hand that channel over, and what
// the logic assembly sends while it handles "init:" reaches the new channel.
#include "logic_test_support.h"

#include "bridge/settings_message.h"
#include "source/morvik_thanks_image.h"

namespace logic_test {
namespace {

class ChannelSharing : public LogicTest {
protected:
    XElement* SourceData(const char* name, const std::string& gifts) {
        XElement* data = NewSourceElement(name)->CreateElement(u"data");
        const fs::path room = WriteFile(folder_ / (std::string(name) + ".txt"), gifts);
        data->SetString(u"room_name", String(room.c_str()).Array());
        data->SetString(u"thanks_string", u"$sender$");
        data->SetInt(u"show_second", 100);
        data->SetInt(u"delay_show_second", 0);
        data->SetInt(u"is_no_thanks", 0);
        return data;
    }

    ChannelRecord* EntryOf(XElement* data) {
        return channelRegistry.FindEntryByInnerId(data->GetString(u"innerId"), data);
    }
};

TEST_F(ChannelSharing, TwoSourcesWithOneSavedInnerIdEachGetAndDrawTheirOwnRoom) {
    XElement* a = SourceData("a", "0.1|甲|花|1|\n");
    SourcePtr first(CreateThanksSource(a));
    first->BeginScene();
    const String aId = a->GetString(u"innerId");

    XElement* b = SourceData("b", "0.1|乙|花|1|\n");
    b->SetString(u"innerId", aId.Array());  // copied with the source
    SourcePtr second(CreateThanksSource(b));
    second->BeginScene();
    const String bId = b->GetString(u"innerId");
    EXPECT_FALSE(bId == aId);

    ASSERT_TRUE(PumpUntil([&] { return !EntryOf(a)->text.IsEmpty() && !EntryOf(b)->text.IsEmpty(); }));
    EXPECT_EQ(EntryOf(a)->text.ToUtf8(), "甲");
    EXPECT_EQ(EntryOf(b)->text.ToUtf8(), "乙");
    first->Preprocess();
    EXPECT_EQ(displayText.ToUtf8(), "甲");
    second->Preprocess();
    EXPECT_EQ(displayText.ToUtf8(), "乙");

    // Each was announced, told its settings and started once.
    const std::vector<std::string> journal = Journal();
    for (const String& id : {aId, bId}) {
        const std::string n = id.ToUtf8();
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "init:" + n), 1) << n;
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "start:" + n), 1) << n;
    }
    // The second's end stops only its own channel.
    second->EndScene();
    EXPECT_EQ(Journal().back(), "stop:" + bId.ToUtf8());
}

TEST_F(ChannelSharing, ATextSentWhileTheAssemblyHandlesInitIsDrawn) {
    StopRuntime();
    ASSERT_EQ(StartRuntime(LOGIC_EAGER_ASSEMBLY), RuntimeStartOutcome::Started);
    XElement* data = NewSourceElement("eager")->CreateElement(u"data");
    SourcePtr source(CreateThanksSource(data));
    source->BeginScene();
    ASSERT_NE(EntryOf(data), nullptr);
    EXPECT_EQ(EntryOf(data)->text.ToUtf8(), "感谢你来");
    source->Preprocess();
    EXPECT_EQ(displayText.ToUtf8(), "感谢你来");
    const auto* drawn = static_cast<MorvikThanksImage*>(source.get());
    EXPECT_GT(drawn->TextureState().width, 32 * 3);
}

// A "Set:" naming another room while the channel runs: the reference
// assembly replays the new room at once, without "stop:" and "start:".
TEST_F(ChannelSharing, ANewRoomInALaterSetIsReplayedAtOnce) {
    XElement* data = SourceData("first", "0.1|甲|花|1|\n");
    SourcePtr source(CreateThanksSource(data));
    source->BeginScene();
    ASSERT_TRUE(PumpUntil([&] { return EntryOf(data)->text.ToUtf8() == "甲"; }));

    const fs::path room = WriteFile(folder_ / "second.txt", "0.1|乙|花|1|\n");
    data->SetString(u"room_name", String(room.c_str()).Array());
    BuildSettingsMessage(data, EntryOf(data)->window);
    EXPECT_TRUE(PumpUntil([&] { return EntryOf(data)->text.ToUtf8() == "乙"; }));
    const std::vector<std::string> journal = Journal();
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                            [](const std::string& line) { return line.rfind("start:", 0) == 0; }),
              1);
}

}  // namespace
}  // namespace logic_test
