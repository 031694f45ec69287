// SPDX-License-Identifier: GPL-2.0-or-later
// The streamer's controls in the reference assembly, through the real
// runtime and engine: a message window of the test's own stands where the
// plug-in's is, announced with "init:", "Set:" and "start:", and records
// every WM_COPYDATA it gets. Each control must be answered exactly once
// with message 300 before its command returns; gifts taken (numbered), left
// out as duplicates or refused for a full queue are announced with 301 and
// thanks shown with 302, from the engine's thread.
#include "logic_test_support.h"

#include "bridge/settings_message.h"
#include "channel/channel_registry.h"
#include "channel/message_window.h"
#include "obs/vendor_vocabulary.h"
#include "tests/gift_client/gift_client.h"
#include "tests/reference/reference_table.h"

#include <nlohmann/json.hpp>

#include <set>
#include <thread>

namespace logic_test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kControlAnswer = 300;
constexpr uint64_t kGiftReceived = 301;
constexpr uint64_t kThanksShown = 302;

struct Message {
    WindowHandle window;
    uint64_t code;
    std::string text;
    Clock::time_point at;
};

// What the test's windows got, in order; their procedure is a plain function.
std::vector<Message> messages;
// Blocks are 8-bit text (the channel's ASCII mode) rather than UTF-16.
bool ansiBlocks = false;

intptr_t RecordingWindowProc(WindowHandle window, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == WM_COPYDATA && lParam) {
        const auto& block = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        messages.push_back({window, block.dwData, DecodeBlock(block, ansiBlocks).ToUtf8(), Clock::now()});
    }
    return 0;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

class ThanksControls : public LogicTest {
protected:
    void SetUp() override {
        LogicTest::SetUp();
        messages.clear();
        ansiBlocks = false;
    }

    void TearDown() override {
        LogicTest::TearDown();  // "quit" first: no engine sends to the windows any more
        for (WindowHandle window : windows_) DestroyWindow(window);
        messages.clear();
    }

    // Each thanks shown for a second, at once, the idle text between, every
    // gift recorded in the test's folder, no room.
    XElement* Settings() {
        XElement* data = NewSourceElement(("controls" + std::to_string(windows_.size())).c_str())->CreateElement(u"data");
        data->SetString(u"room_name", u"");
        data->SetString(u"thanks_string", u"$sender$ $gift$ $num$");
        data->SetInt(u"show_second", 1);
        data->SetInt(u"delay_show_second", 0);
        data->SetInt(u"is_no_thanks", 1);
        data->SetString(u"no_thanks_string", u"idle");
        data->SetInt(u"is_save_record", 1);
        data->SetString(u"save_folder", String(folder_.c_str()).Array());
        return data;
    }

    void Command(const std::string& command) { SendLogicCommand(String(command.c_str())); }

    // A window of the test's own, announced with `data` as its settings,
    // and started unless told not to.
    WindowHandle Channel(XElement* data, bool start = true) {
        const WindowHandle window = CreatePlatformWindow(&RecordingWindowProc);
        windows_.push_back(window);
        number_ = std::to_string(WindowNumber(window));
        Command("setPlatform:4");
        Command("init:" + number_);
        Resend(data);
        if (start) Command("start:" + number_);
        return window;
    }

    // "Set:", after "ASCII" when the settings ask for 8-bit text.
    void Resend(XElement* data) { BuildSettingsMessage(data, windows_.back()); }

    // Runs a control command for the last channel (or `window`) and returns
    // its one answer, which must have arrived there before the call returned.
    json Control(const std::string& action, const std::string& argument = "", WindowHandle window = 0) {
        if (!window) window = windows_.back();
        const std::string command = action + ":" + std::to_string(WindowNumber(window)) + argument;
        const size_t before = messages.size();
        EXPECT_EQ(SendLogicCommand(String(command.c_str())), 0);
        ++controls_;
        std::vector<json> answers;
        for (size_t i = before; i < messages.size(); ++i) {
            if (messages[i].code != kControlAnswer) continue;
            EXPECT_EQ(messages[i].window, window) << command;
            answers.push_back(json::parse(messages[i].text, nullptr, false));
        }
        EXPECT_EQ(answers.size(), 1u) << command.substr(0, 200);
        return answers.empty() ? json() : answers[0];
    }

    json Gifts(const std::string& body) { return Control("gifts", "|" + body); }

    std::vector<const Message*> Of(uint64_t code) const {
        std::vector<const Message*> found;
        for (const Message& message : messages)
            if (message.code == code) found.push_back(&message);
        return found;
    }

    std::vector<std::string> TextsOf(uint64_t code) const {
        std::vector<std::string> texts;
        for (const Message* message : Of(code)) texts.push_back(message->text);
        return texts;
    }

    // The GiftReceived announcements to `window` as "sender outcome
    // gift_id", the number left out when there is none.
    std::vector<std::string> Announced(WindowHandle window) const {
        std::vector<std::string> gifts;
        for (const Message* message : Of(kGiftReceived)) {
            if (message->window != window) continue;
            const json gift = json::parse(message->text);
            gifts.push_back(gift["sender"].get<std::string>() + " " + gift["outcome"].get<std::string>() +
                            (gift.contains("gift_id") ? " " + gift["gift_id"].dump() : ""));
        }
        return gifts;
    }

    // Pumps until `count` messages of `code` have arrived; the last of them.
    const Message* AwaitNth(uint64_t code, size_t count) {
        if (!PumpUntil([&] { return Of(code).size() >= count; })) return nullptr;
        return Of(code)[count - 1];
    }

    void PumpFor(double seconds) {
        const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < until) {
            WaitForMessages(std::chrono::milliseconds(10));
            PumpMessages();
        }
    }

    // The record's lines as "sender gift count value outcome id".
    std::vector<std::string> RecordLines() const {
        std::vector<std::string> lines;
        for (const auto& fields : ReadGiftRecords(folder_.string())) {
            EXPECT_EQ(fields.size(), 8u);
            if (fields.size() == 8)
                lines.push_back(fields[1] + " " + fields[2] + " " + fields[3] + " " + fields[4] + " " + fields[6] + " " + fields[7]);
        }
        return lines;
    }

    // Every 300 came as the answer to a control, none from another thread.
    void ExpectOnlyAnswersToControls() const { EXPECT_EQ(Of(kControlAnswer).size(), controls_); }

    std::vector<WindowHandle> windows_;
    std::string number_;
    size_t controls_ = 0;
};

json State(int queued, const std::string& showing, bool paused, int received) {
    return {{"queued", queued}, {"showing", showing}, {"paused", paused}, {"received", received}};
}

// A "state" answer without its "managed_heap_bytes", once that was found to
// be a whole number of bytes the assembly's heap can hold (some, and less
// than 4 GiB), so that the rest compares exactly. The other controls answer
// the state alone: their answers compare with State() as they are.
json WithoutHeap(json state) {
    const auto heap = state.find("managed_heap_bytes");
    if (heap == state.end()) {
        ADD_FAILURE() << "no managed_heap_bytes in " << state;
        return state;
    }
    EXPECT_TRUE(heap->is_number_integer()) << state;
    if (heap->is_number_integer()) {
        EXPECT_GT(heap->get<int64_t>(), 0) << state;
        EXPECT_LT(heap->get<int64_t>(), int64_t{4} << 30) << state;
    }
    state.erase(heap);
    return state;
}

TEST_F(ThanksControls, PauseHoldsThanksBackResumeShowsThemAndSkipEndsTheOneOnScreen) {
    Channel(Settings());
    ASSERT_NE(AwaitNth(1, 1), nullptr);
    EXPECT_EQ(WithoutHeap(Control("state")), State(0, "", false, 0));  // the idle text shows no thanks
    EXPECT_EQ(Gifts(R"({"sender": "A", "gift": "rose"})"), json({{"accepted", 1}, {"duplicates", 0}}));
    ASSERT_NE(AwaitNth(kThanksShown, 1), nullptr);

    // Paused while A is on screen: A has its second, then the idle text
    // shows and B waits.
    EXPECT_EQ(Control("pause"), State(0, "A rose 1", true, 1));
    EXPECT_EQ(Control("pause"), State(0, "A rose 1", true, 1));  // twice is once
    EXPECT_EQ(Gifts(R"([{"sender": "B", "gift": "heart"}])")["accepted"], 1);
    const Message* idle = AwaitNth(1, 3);
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->text, "idle");
    EXPECT_GT(Seconds(idle->at - Of(1)[1]->at), 0.8);
    PumpFor(0.5);
    EXPECT_EQ(Of(1).size(), 3u);
    EXPECT_EQ(WithoutHeap(Control("state")), State(1, "", true, 2));

    // Resumed: B at once.
    EXPECT_EQ(Control("resume"), State(1, "", false, 2));
    const auto resumed = Clock::now();
    ASSERT_NE(AwaitNth(kThanksShown, 2), nullptr);  // after the engine has timed B
    ASSERT_EQ(Of(1).size(), 4u);
    EXPECT_EQ(Of(1)[3]->text, "B heart 1");
    EXPECT_LT(Seconds(Of(1)[3]->at - resumed), 0.7);

    // Skipped: C, waiting for B's second, shows at once; then the idle text.
    EXPECT_EQ(Gifts(R"({"sender": "C", "gift": "car"})")["accepted"], 1);
    const auto skipped = Clock::now();
    EXPECT_EQ(Control("skip"), State(1, "", false, 3));
    ASSERT_NE(AwaitNth(kThanksShown, 3), nullptr);
    ASSERT_EQ(Of(1).size(), 5u);
    EXPECT_EQ(Of(1)[4]->text, "C car 1");
    EXPECT_LT(Seconds(Of(1)[4]->at - skipped), 0.7);  // not the rest of B's second
    ASSERT_NE(AwaitNth(1, 6), nullptr);

    // Skipping the idle text changes nothing.
    EXPECT_EQ(Control("skip"), State(0, "", false, 3));
    PumpFor(0.3);
    EXPECT_EQ(Of(1).size(), 6u);

    // Each thanks, and only a thanks, is followed by its ThanksShown.
    std::vector<std::string> shown;
    for (const Message& message : messages)
        if (message.code == 1 || message.code == kThanksShown) shown.push_back(std::to_string(message.code) + " " + message.text);
    EXPECT_EQ(shown, (std::vector<std::string>{"1 idle", "1 A rose 1", "302 A rose 1", "1 idle", "1 B heart 1", "302 B heart 1",
                                               "1 C car 1", "302 C car 1", "1 idle"}));
    std::vector<json> received;
    for (const std::string& text : TextsOf(kGiftReceived)) received.push_back(json::parse(text, nullptr, false));
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], json({{"sender", "A"}, {"gift", "rose"}, {"count", 1}, {"value", nullptr}, {"outcome", "thanked"},
                                 {"gift_id", 1}}));
    EXPECT_EQ(Announced(windows_.back()), (std::vector<std::string>{"A thanked 1", "B thanked 2", "C thanked 3"}));
    for (const Message& message : messages) EXPECT_EQ(message.window, windows_.back());
    ExpectOnlyAnswersToControls();
}

TEST_F(ThanksControls, ClearRecordsTheWaitingGiftsAndATestGiftIsShownAndRecordedButNotCounted) {
    XElement* data = Settings();
    data->SetInt(u"delay_show_second", 2);  // the two roses merge
    Channel(data);
    ASSERT_NE(AwaitNth(1, 1), nullptr);
    Control("pause");
    EXPECT_EQ(Gifts(R"([{"sender": "A", "gift": "rose", "id": "r1"}, {"sender": "A", "gift": "rose", "count": 2, "id": "r2"},
                        {"sender": "B", "gift": "car", "value": 10}])"),
              json({{"accepted", 3}, {"duplicates", 0}}));
    json cleared = State(0, "", true, 3);
    cleared["cleared"] = 2;
    EXPECT_EQ(Control("clear"), cleared);

    // Thanks turned off: a gift is left unthanked, a test gift still shows,
    // and two tests are two thanks, never merged.
    data->SetInt(u"is_use_thanks", 0);
    Resend(data);
    EXPECT_EQ(Gifts(R"({"sender": "D", "gift": "rose"})")["accepted"], 1);
    EXPECT_EQ(Control("test"), State(1, "", true, 4));
    EXPECT_EQ(Control("test"), State(2, "", true, 4));
    Control("resume");
    ASSERT_NE(AwaitNth(kThanksShown, 1), nullptr);
    EXPECT_EQ(Of(1).back()->text, "测试观众 测试礼物 1");
    EXPECT_EQ(Control("skip")["received"], 4);
    ASSERT_NE(AwaitNth(kThanksShown, 2), nullptr);
    EXPECT_EQ(TextsOf(kThanksShown), (std::vector<std::string>{"测试观众 测试礼物 1", "测试观众 测试礼物 1"}));

    EXPECT_EQ(RecordLines(), (std::vector<std::string>{"A rose 1  thanked r1", "A rose 2  merged r2", "B car 1 10 thanked ",
                                                       "A rose 1  cleared r1", "A rose 2  cleared r2", "B car 1 10 cleared ",
                                                       "D rose 1  off ", "测试观众 测试礼物 1  test ",
                                                       "测试观众 测试礼物 1  test "}));
    ASSERT_TRUE(PumpUntil([&] { return Of(kGiftReceived).size() == 6; }));
    std::vector<std::string> outcomes;
    for (const std::string& text : TextsOf(kGiftReceived)) outcomes.push_back(json::parse(text)["outcome"]);
    EXPECT_EQ(outcomes, (std::vector<std::string>{"thanked", "merged", "thanked", "off", "test", "test"}));
    EXPECT_EQ(json::parse(TextsOf(kGiftReceived)[2])["value"], 10);
    ExpectOnlyAnswersToControls();
}

// An obs-websocket GiftReceived is the assembly's announcement with the
// source's name added: the reference page lists exactly the fields of a
// gift taken (with its gift_id) and of one left out (without).
TEST_F(ThanksControls, AnnouncementsCarryTheFieldsTheObsWebsocketPageLists) {
    Channel(Settings());
    ASSERT_NE(AwaitNth(1, 1), nullptr);
    const std::string gift = R"({"sender": "A", "gift": "rose", "count": 2, "combo": "x2", "value": 5, "id": "e1"})";
    EXPECT_EQ(Gifts(gift), json({{"accepted", 1}, {"duplicates", 0}}));
    EXPECT_EQ(Gifts(gift), json({{"accepted", 0}, {"duplicates", 1}}));
    ASSERT_NE(AwaitNth(kGiftReceived, 2), nullptr);
    EXPECT_EQ(Announced(windows_.back()), (std::vector<std::string>{"A thanked 1", "A duplicate"}));
    std::set<std::string> announced{kInputNameField};
    for (const std::string& text : TextsOf(kGiftReceived)) {
        const json fields = json::parse(text);
        for (const auto& field : fields.items()) announced.insert(field.key());
    }

    std::set<std::string> documented;
    for (const std::vector<std::string>& row : reference::TableUnder("obs-websocket.md", "## Events"))
        if (reference::CodeSpans(row.at(0)) == std::vector<std::string>{kGiftReceivedEvent.type})
            for (const std::string& field : reference::CodeSpans(row.at(1))) documented.insert(field);
    EXPECT_EQ(documented, announced) << "obs-websocket.md's fields of " << kGiftReceivedEvent.type
                                     << " and those the logic assembly announces (with the source's name)";
    ExpectOnlyAnswersToControls();
}

TEST_F(ThanksControls, GiftsFollowTheEndpointsRulesAndARefusedBatchTakesNothing) {
    const int port = FreeLoopbackPort();
    ASSERT_GT(port, 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/gifts";
    XElement* data = Settings();
    data->SetString(u"room_name", String(url.c_str()).Array());
    Channel(data);

    // A gift posted over HTTP is announced like one sent as a command, and
    // an id taken by either route is a duplicate on the other.
    GiftClient client;
    const HttpAnswer posted =
        client.PostJson(url, R"({"sender": "老王", "gift": "啤酒", "count": 5, "value": 500, "id": "evt-1"})");
    ASSERT_EQ(posted.status, 202) << posted.body << posted.error;
    const Message* announced = AwaitNth(kGiftReceived, 1);
    ASSERT_NE(announced, nullptr);
    EXPECT_EQ(json::parse(announced->text), json({{"sender", "老王"}, {"gift", "啤酒"}, {"count", 5}, {"value", 500},
                                                  {"outcome", "thanked"}, {"gift_id", 1}}));
    const std::string twice = R"([{"sender": "老王", "gift": "啤酒", "id": "evt-1"}, {"sender": "小李", "gift": "花", "id": "evt-2"},
                                  {"sender": "小李", "gift": "花", "id": "evt-2"}])";
    EXPECT_EQ(Gifts(twice), json({{"accepted", 1}, {"duplicates", 2}}));
    EXPECT_EQ(Gifts(twice), json({{"accepted", 0}, {"duplicates", 3}}));
    const HttpAnswer again = client.PostJson(url, R"({"sender": "小李", "gift": "花", "id": "evt-2"})");
    ASSERT_EQ(again.status, 202);
    EXPECT_EQ(json::parse(again.body), json({{"accepted", 0}, {"duplicates", 1}}));

    // Refused batches, each answered with its first fault, take nothing.
    std::string many = "[";
    for (int i = 0; i < 101; ++i) many += std::string(i ? "," : "") + R"({"sender": "A", "gift": "rose"})";
    many += "]";
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {many, "an array may hold at most 100 gifts"},
        {R"([{"sender": "A", "gift": "rose"}, {"sender": "", "gift": "rose"}])", "gift 2: sender must be a non-empty string"},
        {R"({"sender": "A", "gift": "rose", "count": 0})", "count must be a whole number from 1 to 2147483647"},
        {"{", "invalid JSON"},
        {"", "the body is empty"},
        {R"({"sender": "A", "gift": "rose", "x": ")" + std::string(70000, 'x') + "\"}", "at most 65536 bytes"},
    };
    for (const auto& [body, error] : refusals) {
        const json answer = Gifts(body);
        ASSERT_TRUE(answer.contains("error")) << answer;
        EXPECT_NE(answer["error"].get<std::string>().find(error), std::string::npos) << answer;
    }
    EXPECT_EQ(Control("state")["received"], 2);
    EXPECT_EQ(RecordLines().size(), 2u);
    // Each duplicate was announced, unnumbered, where it was left out; the
    // refused batches not at all.
    const std::vector<std::string> announcedSoFar = {"老王 thanked 1",  "老王 duplicate", "小李 thanked 2",
                                                     "小李 duplicate", "老王 duplicate", "小李 duplicate",
                                                     "小李 duplicate", "小李 duplicate"};
    ASSERT_TRUE(PumpUntil([&] { return Of(kGiftReceived).size() >= announcedSoFar.size(); }));
    PumpFor(0.2);
    EXPECT_EQ(Announced(windows_.back()), announcedSoFar);

    // A full queue refuses a batch and a test until thanks have been shown.
    Control("pause");
    for (int batch = 0; batch < 10; ++batch) {
        json gifts = json::array();
        for (int i = 0; i < 100; ++i) gifts.push_back({{"sender", "viewer" + std::to_string(batch * 100 + i)}, {"gift", "rose"}});
        ASSERT_EQ(Gifts(gifts.dump())["accepted"], 100) << batch;
    }
    EXPECT_EQ(Gifts(R"({"sender": "late", "gift": "rose"})"), json({{"error", "the thanks queue is full; send again in 1 seconds"}}));
    EXPECT_EQ(Control("test"), json({{"error", "the thanks queue is full; send again in 1 seconds"}}));
    EXPECT_EQ(Control("again", "|1002"), json({{"error", "the thanks queue is full; send again in 1 seconds"}}));
    EXPECT_EQ(Control("state")["received"], 1002);
    // The refused gift was announced as such, after the thousand taken.
    ASSERT_TRUE(PumpUntil([&] { return Of(kGiftReceived).size() >= announcedSoFar.size() + 1001; }));
    EXPECT_EQ(Announced(windows_.back()).back(), "late refused");
    EXPECT_EQ(Announced(windows_.back())[announcedSoFar.size() + 999], "viewer999 thanked 1002");

    // Hidden: gifts and tests are refused, the other controls still act.
    Command("stop:" + number_);
    EXPECT_EQ(Gifts(R"({"sender": "late", "gift": "rose"})"),
              json({{"error", "the source is hidden: gifts are taken while it is shown"}}));
    EXPECT_EQ(Control("test"), json({{"error", "the source is hidden: a test gift is shown while the source is shown"}}));
    json cleared = Control("clear");
    EXPECT_GE(cleared["cleared"], 1000);
    EXPECT_EQ(cleared["queued"], 0);
    EXPECT_EQ(cleared["received"], 1002);
    ExpectOnlyAnswersToControls();
}

// Every gift a channel takes gets the next number, its gift_id; "again"
// with one of the last 1,000 shows that gift's thanks once more as it was
// first shown (merged counts, the latest combo), with the template as it is
// now, like a test gift: never filtered, received, recorded or announced.
TEST_F(ThanksControls, AGiftIsThankedAgainByItsNumberAsItWasFirstThanked) {
    XElement* data = Settings();
    data->SetString(u"thanks_string", u"$sender$ $gift$ $num$ $combo$");
    data->SetInt(u"delay_show_second", 1);  // the roses merge
    Channel(data);
    ASSERT_NE(AwaitNth(1, 1), nullptr);
    EXPECT_EQ(Gifts(R"([{"sender": "A", "gift": "rose", "count": 2, "combo": "x2"},
                        {"sender": "A", "gift": "rose", "count": 3, "combo": "x5"},
                        {"sender": "B", "gift": "car", "value": 0}])")["accepted"], 3);
    EXPECT_EQ(Control("test")["received"], 3);
    ASSERT_NE(AwaitNth(kThanksShown, 2), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return Of(kGiftReceived).size() >= 4; }));
    EXPECT_EQ(Announced(windows_.back()),
              (std::vector<std::string>{"A thanked 1", "A merged 2", "B filtered 3", "测试观众 test 4"}));
    const std::string roses = TextsOf(kThanksShown)[0];
    EXPECT_EQ(roses, "A rose 5 x5");

    // The second rose, merged into the first one's thanks: that thanks again.
    const json again = Control("again", "|2");
    EXPECT_EQ(again["queued"], 1) << again;
    EXPECT_EQ(again["received"], 3) << again;
    ASSERT_NE(AwaitNth(kThanksShown, 3), nullptr);
    EXPECT_EQ(TextsOf(kThanksShown)[2], roses);

    // The car, filtered when it came, is thanked all the same, and with the
    // template as it is now.
    data->SetString(u"thanks_string", u"谢谢$sender$的$gift$");
    Resend(data);
    EXPECT_FALSE(Control("again", "|3").contains("error"));
    ASSERT_NE(AwaitNth(kThanksShown, 4), nullptr);
    EXPECT_EQ(TextsOf(kThanksShown)[3], "谢谢B的car");
    PumpFor(0.3);
    EXPECT_EQ(Of(kGiftReceived).size(), 4u);
    EXPECT_EQ(RecordLines().size(), 4u);
    EXPECT_EQ(Control("state")["received"], 3);

    const std::string malformed = "again needs the gift's number (gift_id), a whole number from 1 to 9007199254740991; got ";
    for (const auto& [argument, error] : std::vector<std::pair<std::string, std::string>>{
             {"|5", "gift_id 5 is not kept: the channel keeps its last 1000 gifts, now gift_id 1 to 4"},
             {"|0", malformed + "\"0\""},
             {"|-1", malformed + "\"-1\""},
             {"|9007199254740992", malformed + "\"9007199254740992\""},
             {"|", malformed + "\"\""}})
        EXPECT_EQ(Control("again", argument), json({{"error", error}})) << argument;

    // A thousand more: the oldest numbers are let go of.
    data->SetInt(u"is_use_thanks", 0);
    Resend(data);
    for (int batch = 0; batch < 10; ++batch) {
        json gifts = json::array();
        for (int i = 0; i < 100; ++i) gifts.push_back({{"sender", "viewer" + std::to_string(batch * 100 + i)}, {"gift", "rose"}});
        ASSERT_EQ(Gifts(gifts.dump())["accepted"], 100) << batch;
    }
    EXPECT_EQ(Control("again", "|4"),
              json({{"error", "gift_id 4 is not kept: the channel keeps its last 1000 gifts, now gift_id 5 to 1004"}}));
    EXPECT_EQ(Control("again", "|1004")["queued"], 1);  // a gift not thanked while thanks were off
    ASSERT_NE(AwaitNth(kThanksShown, 5), nullptr);
    EXPECT_EQ(TextsOf(kThanksShown)[4], "谢谢viewer999的rose");

    Command("stop:" + number_);
    EXPECT_EQ(Control("again", "|1004"),
              json({{"error", "the source is hidden: a gift is thanked again while the source is shown"}}));
    ExpectOnlyAnswersToControls();
}

// A post that a full queue refuses is announced, gift by gift, by every
// channel of its URL, none of them numbered or received; each channel
// numbers the gifts it takes on its own.
TEST_F(ThanksControls, APostRefusedForAFullQueueIsAnnouncedByEveryChannelOfItsUrl) {
    const int port = FreeLoopbackPort();
    ASSERT_GT(port, 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/gifts";
    const auto onUrl = [&] {
        XElement* data = Settings();
        data->SetString(u"room_name", String(url.c_str()).Array());
        data->SetInt(u"is_save_record", 0);
        return data;
    };
    const WindowHandle full = Channel(onUrl());
    Control("pause");
    for (int batch = 0; batch < 10; ++batch) {
        json gifts = json::array();
        for (int i = 0; i < 100; ++i) gifts.push_back({{"sender", "viewer" + std::to_string(batch * 100 + i)}, {"gift", "rose"}});
        ASSERT_EQ(Gifts(gifts.dump())["accepted"], 100) << batch;
    }
    const WindowHandle other = Channel(onUrl());

    GiftClient client;
    const std::string post = R"([{"sender": "晚到", "gift": "花", "id": "evt-9"}, {"sender": "也晚", "gift": "花"}])";
    const HttpAnswer refused = client.PostJson(url, post);
    EXPECT_EQ(refused.status, 503) << refused.body;
    EXPECT_EQ(Control("clear", "", full)["cleared"], 1000);
    const HttpAnswer taken = client.PostJson(url, post);
    ASSERT_EQ(taken.status, 202) << taken.body << taken.error;

    ASSERT_TRUE(PumpUntil([&] { return Announced(full).size() >= 1004 && Announced(other).size() >= 4; }));
    PumpFor(0.2);
    const std::vector<std::string> fullGot = Announced(full);
    ASSERT_EQ(fullGot.size(), 1004u);
    EXPECT_EQ(fullGot[999], "viewer999 thanked 1000");
    EXPECT_EQ(std::vector<std::string>(fullGot.begin() + 1000, fullGot.end()),
              (std::vector<std::string>{"晚到 refused", "也晚 refused", "晚到 thanked 1001", "也晚 thanked 1002"}));
    EXPECT_EQ(Announced(other), (std::vector<std::string>{"晚到 refused", "也晚 refused", "晚到 thanked 1", "也晚 thanked 2"}));
    EXPECT_EQ(Control("state", "", full)["received"], 1002);
    EXPECT_EQ(Control("state", "", other)["received"], 2);
    ExpectOnlyAnswersToControls();
}

// While the plug-in's thread takes no message, more gifts come in than the
// engine keeps announcements for; the oldest are dropped and counted once in
// the log, and the rest arrive in order across a stop and a start. A test
// gift's thanks goes out at once behind that backlog, because only the
// engine's event thread waits for the plug-in; its ThanksShown follows the
// text and overtakes the gifts still waiting.
TEST_F(ThanksControls, AnnouncementsNeverHoldAThanksBackAndABacklogIsBoundedAndKeptInOrder) {
    XElement* data = Settings();
    data->SetInt(u"is_use_thanks", 0);  // no thanks of their own: only announcements
    data->SetInt(u"is_save_record", 0);
    Channel(data);
    ASSERT_NE(AwaitNth(1, 1), nullptr);

    constexpr int kBound = 10000, kGifts = kBound + 500;
    for (int batch = 0; batch < kGifts / 100; ++batch) {
        json gifts = json::array();
        for (int i = 0; i < 100; ++i) gifts.push_back({{"sender", std::to_string(batch * 100 + i)}, {"gift", "rose"}});
        ASSERT_EQ(Gifts(gifts.dump())["accepted"], 100) << batch;
    }
    const auto dropLine = [&] {
        for (const Message* line : Of(200))
            if (line->text.find("dropped") != std::string::npos) return line;
        return static_cast<const Message*>(nullptr);
    };
    Command("stop:" + number_);
    Command("start:" + number_);
    // The idle text again, the drop report (a log line, which the engine's
    // show thread sends), and a gift from the new run: the backlog goes on
    // and has room for the test gift.
    ASSERT_TRUE(PumpUntil([&] { return Of(1).size() >= 2 && dropLine() && Of(kGiftReceived).size() >= 2; }));
    ASSERT_TRUE(WaitForMessages(std::chrono::seconds(60)));  // the next announcement waits for this thread

    const std::string testThanks = "测试观众 测试礼物 1";
    EXPECT_EQ(Control("test")["queued"], 1);
    // "showing" is set as the text is handed over, before the plug-in takes it.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Control("state")["showing"] != testThanks && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Control("state")["showing"], testThanks);

    const auto caughtUp = Clock::now() + std::chrono::seconds(120);
    const auto testGiftAnnounced = [&] {
        const std::vector<const Message*> gifts = Of(kGiftReceived);
        return !gifts.empty() && json::parse(gifts.back()->text)["outcome"] == "test";
    };
    while (!testGiftAnnounced() && Clock::now() < caughtUp) {
        WaitForMessages(std::chrono::milliseconds(50));
        PumpMessages();
    }
    ASSERT_EQ(Of(kThanksShown).size(), 1u);
    PumpFor(0.3);

    // The announcements: gifts in the order taken, the test last; its
    // ThanksShown follows its code-1 text and comes before the backlog.
    std::vector<int> senders;
    const Message* testAnnounced = nullptr;
    for (const Message& message : messages) {
        if (message.code != kGiftReceived) continue;
        const json gift = json::parse(message.text);
        if (gift["outcome"] == "test") testAnnounced = &message;
        else senders.push_back(std::stoi(gift["sender"].get<std::string>()));
    }
    ASSERT_NE(testAnnounced, nullptr);
    EXPECT_EQ(testAnnounced, Of(kGiftReceived).back());
    EXPECT_TRUE(std::is_sorted(senders.begin(), senders.end()) &&
                std::adjacent_find(senders.begin(), senders.end()) == senders.end());
    EXPECT_EQ(senders.back(), kGifts - 1);
    EXPECT_LT(Of(kThanksShown)[0], testAnnounced);
    const auto thanksText = std::find_if(messages.begin(), messages.end(),
                                         [&](const Message& m) { return m.code == 1 && m.text == testThanks; });
    ASSERT_NE(thanksText, messages.end());
    EXPECT_LT(&*thanksText, Of(kThanksShown)[0]);

    // At most the bound waited (and one on its way); the rest were dropped,
    // counted in exactly one line.
    size_t dropLines = 0;
    for (const Message* line : Of(200)) dropLines += line->text.find("dropped") != std::string::npos;
    EXPECT_EQ(dropLines, 1u);
    const std::string& report = dropLine()->text;
    const int dropped = std::atoi(report.c_str() + report.find_first_of("0123456789", report.find("slowly")));
    EXPECT_GE(senders.size() + 1, static_cast<size_t>(kBound)) << report;
    EXPECT_EQ(static_cast<int>(senders.size()) + 1 + dropped, kGifts + 1) << report;
    ExpectOnlyAnswersToControls();
}

TEST_F(ThanksControls, ChannelsNeverShownAreAnsweredWithAnErrorInTheirTextMode) {
    const WindowHandle stranger = CreatePlatformWindow(&RecordingWindowProc);
    windows_.push_back(stranger);
    const json notShown = {{"error", "the channel has not been shown yet"}};
    EXPECT_EQ(Control("state", "", stranger), notShown);

    // Announced in ASCII mode, never started: answered in 8-bit text.
    XElement* data = Settings();
    data->SetInt(u"usingASCII", 1);
    Channel(data, false);
    ansiBlocks = true;
    for (const char* action : {"test", "skip", "pause", "resume", "clear", "state"}) EXPECT_EQ(Control(action), notShown) << action;
    EXPECT_EQ(Gifts(R"({"sender": "测试", "gift": "rose"})"), notShown);
    EXPECT_EQ(Control("again", "|1"), notShown);
    ExpectOnlyAnswersToControls();
}

}  // namespace
}  // namespace logic_test
