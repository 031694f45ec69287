// SPDX-License-Identifier: GPL-2.0-or-later
// The streamer's controls inside libobs, through the doors OBS offers: the
// Properties buttons, the source's hotkeys (fired as obs-websocket and the
// frontend fire them) and the scripts' procedure. What they do is read back
// from the output frames, the answers and the gift record.

#include "tests/obs/obs_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>

namespace obs_test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInput = "controlled";

std::string Gift(const std::string& sender, const std::string& gift) {
    return R"({"sender": ")" + sender + R"(", "gift": ")" + gift + R"("})";
}

// The gift record's lines, all days.
std::string Record(const fs::path& folder) {
    std::string lines;
    if (fs::exists(folder))
        for (const fs::directory_entry& file : fs::directory_iterator(folder)) lines += ReadFile(file.path().string());
    return lines;
}

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The text of the field `name`'s value in a flat JSON answer ("" without it).
std::string FieldOf(const std::string& answer, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = answer.find(key);
    if (at == std::string::npos) return "";
    const size_t start = at + key.size();
    return answer.substr(start, answer.find_first_of(",}", start) - start);
}

TEST(ObsControls, ButtonsHotkeysAndTheProcedurePauseSkipClearAndTest) {
    const fs::path record = OutputPath("obs_controls_record");
    fs::remove_all(record);
    fs::create_directories(record);
    TestSource source(kInput, R"({"font": "WenQuanYi Micro Hei", "fontSize": 20, "color": -16711936, "outline": 0,
                                   "show_second": 600, "delay_show_second": 0, "is_no_thanks": 1,
                                   "no_thanks_string": "Idle", "thanks_string": "感谢$sender$赠送的$gift$",
                                   "is_save_record": 1, "save_folder": ")" + record.string() + R"("})");
    FrameGrabber grabber;
    source.Show();
    ASSERT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), R"("paused":false)"); }));
    auto textWidth = [&] { return GreenText(grabber.Latest()).width; };
    ASSERT_TRUE(WaitFor([&] { return textWidth() > 0 && textWidth() < 60; }));  // the idle text
    EXPECT_EQ(LabelOf(source.get(), "pause_thanks"), "Pause thanks");

    // Paused from the button: a gift is taken and waits; the button offers
    // to resume.
    PressButton(source.get(), "pause_thanks");
    ASSERT_TRUE(WaitFor([&] { return LabelOf(source.get(), "pause_thanks") == "Resume thanks"; }));
    EXPECT_TRUE(Holds(CallControlProcedure(kInput, "gifts", Gift("小明", "火箭")), R"("accepted":1)"));
    EXPECT_FALSE(WaitFor([&] { return textWidth() > 100; }, std::chrono::milliseconds(1500)));
    EXPECT_TRUE(Holds(CallControlProcedure(kInput, "state"), R"("queued":1)"));

    // Resumed by its hotkey: the waiting thanks shows.
    TriggerHotkey(source.get(), "morvik_thanks.resume");
    ASSERT_TRUE(WaitFor([&] { return textWidth() > 100; }));
    const uint32_t first = textWidth();
    EXPECT_TRUE(WaitFor([&] { return LabelOf(source.get(), "pause_thanks") == "Pause thanks"; }));

    // Skipped by its hotkey long before its ten minutes: the next one shows.
    EXPECT_TRUE(Holds(CallControlProcedure(kInput, "gifts",
                                           "[" + Gift("小红红红红", "啤酒") + ", " + Gift("小刚", "玫瑰") + "]"),
                      R"("accepted":2)"));
    TriggerHotkey(source.get(), "morvik_thanks.skip");
    ASSERT_TRUE(WaitFor([&] { return textWidth() > first + 40; }));
    SaveFrame(grabber.Latest(), "obs_controls_skipped.png");

    // Cleared from the button: the gift still waiting is dropped and recorded.
    PressButton(source.get(), "clear_thanks");
    EXPECT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), R"("queued":0)"); }));
    EXPECT_TRUE(WaitFor([&] { return Holds(Record(record), "小刚\t玫瑰\t1\t\t\tcleared"); }));

    // A test gift from the button, shown once skipped to: drawn, recorded as
    // a test, not counted as received.
    // The state also tells the logic assembly's heap, in bytes.
    const std::string before = CallControlProcedure(kInput, "state");
    ASSERT_NE(FieldOf(before, "received"), "") << before;
    EXPECT_GT(std::stoll("0" + FieldOf(before, "managed_heap_bytes")), 0) << before;
    PressButton(source.get(), "test_gift");
    ASSERT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), R"("queued":1)"); }));
    EXPECT_EQ(FieldOf(CallControlProcedure(kInput, "state"), "received"), FieldOf(before, "received"));
    TriggerHotkey(source.get(), "morvik_thanks.skip");
    EXPECT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), "测试观众"); }));
    EXPECT_TRUE(WaitFor([&] { return Holds(Record(record), "测试观众\t测试礼物\t1\t\t\ttest"); }));
    SaveFrame(grabber.Latest(), "obs_controls_test_gift.png");

    // Thanked again by gift_id, the source's numbers for its gifts in the
    // order taken (the rocket 1, the beer 2): from a script's own thread, and
    // queued from OBS's graphics thread. Each shows once skipped to, as it
    // was first thanked, and is neither received nor recorded again.
    const std::string rocket = CallControlProcedure(kInput, "again", "1");
    EXPECT_EQ(FieldOf(rocket, "queued"), "1") << rocket;
    EXPECT_EQ(FieldOf(rocket, "received"), FieldOf(before, "received")) << rocket;
    TriggerHotkey(source.get(), "morvik_thanks.skip");
    EXPECT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), "感谢小明赠送的火箭"); }));
    EXPECT_EQ(CallControlProcedure(kInput, "again", "2", Caller::Graphics), R"({"action":"again","queued":true})");
    EXPECT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), R"("queued":1)"); }));
    TriggerHotkey(source.get(), "morvik_thanks.skip");
    EXPECT_TRUE(WaitFor([] { return Holds(CallControlProcedure(kInput, "state"), "感谢小红红红红赠送的啤酒"); }));
    EXPECT_EQ(FieldOf(CallControlProcedure(kInput, "state"), "received"), FieldOf(before, "received"));
    const std::string lines = Record(record);
    EXPECT_EQ(lines.find("小明\t火箭"), lines.rfind("小明\t火箭")) << lines;
    source.Hide();
}

// Whatever a door is handed, it answers with an error that names the fault,
// takes nothing of a refused batch, and OBS goes on.
TEST(ObsControls, BadRequestsAreAnsweredWithAnErrorAndTakeNothing) {
    const std::string input = "refusing";
    TestSource source(input.c_str(), R"({"show_second": 10, "delay_show_second": 0, "is_no_thanks": 1})");
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return Holds(CallControlProcedureOnceDone(input, "state"), R"("queued":0)"); }));

    EXPECT_TRUE(Holds(CallControlProcedureOnceDone("no such input", "test"), R"(no input named \"no such input\")"));
    obs_scene_t* scene = obs_scene_create("a scene");
    EXPECT_TRUE(Holds(CallControlProcedureOnceDone("a scene", "test"), "is not a thanks source"));
    obs_scene_release(scene);
    EXPECT_TRUE(Holds(CallControlProcedureOnceDone(input, "dance"), "unknown action"));

    std::string tooMany = "[";
    for (int i = 0; i < 101; ++i) tooMany += (i ? "," : "") + Gift("v" + std::to_string(i), "花");
    tooMany += "]";
    for (const std::string& bad : {tooMany, "[" + Gift("甲", "花") + "," + Gift("", "花") + "]", std::string("{")}) {
        const std::string answer = CallControlProcedureOnceDone(input, "gifts", bad);
        EXPECT_TRUE(Holds(answer, R"("error")")) << answer;
    }
    EXPECT_TRUE(Holds(CallControlProcedureOnceDone(input, "state"), R"("queued":0)"));

    // "again" takes a gift_id, 1 to 2^53-1 in decimal digits, and the
    // source says which of those it keeps.
    for (const std::string& id : {std::string(), std::string("0"), std::string("12x"), std::string("-3"),
                                  std::string(" 5"), std::string("9007199254740992")}) {
        const std::string answer = CallControlProcedureOnceDone(input, "again", id);
        EXPECT_TRUE(Holds(answer, "again needs the gift's number (gift_id)")) << answer;
    }
    const std::string unknown = CallControlProcedureOnceDone(input, "again", "9007199254740991");
    EXPECT_TRUE(Holds(unknown, "gift_id 9007199254740991 is not kept: the channel has taken no gift yet")) << unknown;
    source.Hide();
}

// A settings form holds the core for three seconds: a script's timer (OBS's
// graphics thread) polling the state gets the state last reported, with its
// age, at once; a gift sent from another thread is refused as busy at once
// and never taken afterwards, while one sent from the graphics thread is
// queued and taken once the form has closed. Whatever bytes a door is
// handed, its answer is a JSON error in UTF-8.
TEST(ObsControls, NoOBSThreadWaitsAndAControlRefusedAsBusyIsNeverDone) {
    const std::string input = "held";
    TestSource source(input.c_str(), R"({"show_second": 10, "delay_show_second": 0, "is_no_thanks": 1,
                                          "is_use_thanks": 0})");
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return Holds(CallControlProcedure(input, "state"), R"("received":0)"); }));
    const nlohmann::json polled = nlohmann::json::parse(CallControlProcedure(input, "state", "", Caller::Graphics));
    EXPECT_EQ(polled.value("received", -1), 0) << polled;
    EXPECT_GE(polled.value("age_ms", -1), 0) << polled;

    const std::string form = OutputPath("obs_controls_held_form.txt");
    WriteFile(form, "sleep 3\nresult 1\n");
    setenv("TAVREL_FORM", form.c_str(), 1);
    PressConfigure(source.get());
    ASSERT_TRUE(WaitFor([&] { return Holds(CallControlProcedure(input, "test"), "the logic assembly is busy"); }));
    unsetenv("TAVREL_FORM");
    const std::string idless = R"({"sender": "重试者", "gift": "花"})";
    EXPECT_TRUE(Holds(CallControlProcedure(input, "gifts", idless), "nothing was done"));
    EXPECT_EQ(CallControlProcedure(input, "gifts", idless, Caller::Graphics), R"({"action":"gifts","queued":true})");
    const nlohmann::json held = nlohmann::json::parse(CallControlProcedure(input, "state", "", Caller::Ui));
    EXPECT_EQ(held.value("received", -1), 0) << held;
    EXPECT_TRUE(held.contains("age_ms")) << held;

    // The form closed: the queued gift is taken, the refused one never.
    EXPECT_TRUE(WaitFor([&] { return Holds(CallControlProcedure(input, "state"), R"("received":1)"); }));
    WaitFor([] { return false; }, std::chrono::milliseconds(1000));
    EXPECT_TRUE(Holds(CallControlProcedure(input, "state"), R"("received":1)"));

    const std::string bad = "st\xff\xfe" "ate";
    for (const Caller on : {Caller::OwnThread, Caller::Graphics}) {
        using Strings = std::tuple<std::string, std::string, std::string>;
        for (const auto& [name, action, gifts] :
             {Strings{bad, std::string("state"), std::string()}, Strings{input, bad, std::string()},
              Strings{input, std::string("gifts"), std::string("{\"sender\": \"\xc3\", \"gift\": \"花\"}")}}) {
            const std::string answer = CallControlProcedure(name, action, gifts, on);
            const nlohmann::json parsed = nlohmann::json::parse(answer, nullptr, false);
            ASSERT_TRUE(parsed.is_object() && parsed.contains("error")) << answer;
            EXPECT_TRUE(Holds(answer, "\xef\xbf\xbd")) << answer;  // U+FFFD where the bad bytes were
        }
    }
    EXPECT_TRUE(Holds(CallControlProcedure(input, "state"), R"("received":1)"));
    source.Hide();
}

}  // namespace
}  // namespace obs_test
