// SPDX-License-Identifier: GPL-2.0-or-later
// Gifts posted to a source's room URL, end to end: libcurl posts to the
// reference assembly's endpoint in the real runtime, the engine's thread
// sends the thanks to the source's channel, and this thread pumps them in
// as the plug-in's would. Merging, filtering, the queue's order and show
// time, every refusal, hostile clients and bodies, ports that cannot be
// used, channels sharing a URL and the record file.
#include "logic_test_support.h"

#include "channel/channel_registry.h"
#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"
#include "tests/gift_client/gift_client.h"

#include <nlohmann/json.hpp>

#include <thread>

namespace logic_test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

struct TimedText {
    std::string text;
    double seconds;  // since the collection began
};

class GiftEndpoint : public LogicTest {
protected:
    void SetUp() override {
        LogicTest::SetUp();
        port_ = FreeLoopbackPort();
        ASSERT_GT(port_, 0);
    }

    std::string Url(const std::string& path = "/gifts") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // A source whose room is `room` (Url() by default), each thanks shown
    // at once and until the next, no idle text, every gift recorded in the
    // test's folder.
    SourcePtr LiveSource(const std::string& room = "") {
        element_ = NewSourceElement(("live" + std::to_string(++sources_)).c_str());
        data_ = element_->CreateElement(u"data");
        data_->SetString(u"room_name", String((room.empty() ? Url() : room).c_str()).Array());
        data_->SetString(u"thanks_string", u"感谢$sender$赠送的$num$个$gift$ $combo$");
        data_->SetInt(u"show_second", 0);
        data_->SetInt(u"delay_show_second", 0);
        data_->SetInt(u"is_no_thanks", 0);
        data_->SetInt(u"is_save_record", 1);
        data_->SetString(u"save_folder", String(folder_.c_str()).Array());
        return SourcePtr(CreateThanksSource(data_));
    }

    // The texts the last channel is given within `seconds`, or until
    // `count` have come, with when each arrived.
    std::vector<TimedText> CollectFor(double seconds, size_t count = SIZE_MAX) {
        std::vector<TimedText> texts;
        const auto start = Clock::now();
        const auto until = start + std::chrono::duration<double>(seconds);
        while (Clock::now() < until && texts.size() < count) {
            WaitForMessages(std::chrono::milliseconds(10));
            PumpMessages();
            if (Entry().redraw && !Entry().text.IsEmpty()) {
                texts.push_back({Entry().text.ToUtf8(), std::chrono::duration<double>(Clock::now() - start).count()});
                Entry().text = String();
            }
        }
        return texts;
    }

    std::vector<std::vector<std::string>> Record() const { return ReadGiftRecords(folder_.string()); }

    json State(const std::vector<std::string>& headers = {}) {
        const HttpAnswer answer = client_.Send("GET", Url(), "", headers);
        EXPECT_EQ(answer.status, 200) << answer.body << answer.error;
        return json::parse(answer.body, nullptr, false);
    }

    int port_ = 0;
    int sources_ = 0;
    XElement* element_ = nullptr;
    XElement* data_ = nullptr;
    GiftClient client_;
};

TEST_F(GiftEndpoint, APostedGiftIsThankedWithTheTemplateFilledInAndDrawn) {
    auto source = LiveSource();
    source->BeginScene();
    const std::string number = std::to_string(WindowNumber(Entry().window));
    ASSERT_EQ(LogLines().size(), 1u);
    EXPECT_EQ(LogLines()[0], "Tavrel: channel " + number + " started, room " + Url() + ", taking gifts posted to it");

    const HttpAnswer answer =
        client_.PostJson(Url(), R"({"sender": "老王", "gift": "啤酒", "count": 5, "combo": "连击x2", "value": 500, "id": "evt-1"})");
    ASSERT_EQ(answer.status, 202) << answer.body << answer.error;
    EXPECT_EQ(json::parse(answer.body), json({{"accepted", 1}, {"duplicates", 0}}));
    EXPECT_EQ(answer.headers.at("content-type"), "application/json; charset=utf-8");
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"感谢老王赠送的5个啤酒 连击x2"});

    // Drawn as the source draws any thanks.
    Entry().text = u"感谢老王赠送的5个啤酒 连击x2";
    source->Preprocess();
    EXPECT_EQ(displayText.ToUtf8(), "感谢老王赠送的5个啤酒 连击x2");
    graphics.ClearCanvas(0xFF1E2430);
    source->Render({0, 0}, source->GetSize());
    EXPECT_EQ(graphics.WriteCanvasPng((folder_ / "posted.png").string()), "");

    const json state = State();
    EXPECT_EQ(state["queued"], 0);
    EXPECT_EQ(state["showing"], "感谢老王赠送的5个啤酒 连击x2");
    EXPECT_EQ(state["received"], 1);

    // The same event posted again is taken as a no-op.
    const HttpAnswer again = client_.PostJson(Url(), R"([{"sender": "老王", "gift": "啤酒", "id": "evt-1"}])");
    ASSERT_EQ(again.status, 202);
    EXPECT_EQ(json::parse(again.body), json({{"accepted", 0}, {"duplicates", 1}}));
    const auto record = Record();
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(record[0].begin() + 1, record[0].end()),
              (std::vector<std::string>{"老王", "啤酒", "5", "500", "连击x2", "thanked", "evt-1"}));
}

// On a short clock: thanks show one second each and wait a second for more
// of the same gift.
TEST_F(GiftEndpoint, CombosMergeFreeGiftsAreFilteredAndThanksWaitTheirTurn) {
    auto source = LiveSource();
    data_->SetString(u"thanks_string", u"$sender$ $gift$ $num$ $combo$");
    data_->SetInt(u"show_second", 1);
    data_->SetInt(u"delay_show_second", 1);
    data_->SetInt(u"is_no_thanks", 1);
    data_->SetString(u"no_thanks_string", u"idle");
    source->BeginScene();
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"idle"});

    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(client_.PostJson(Url(), R"({"sender": "A", "gift": "rose", "combo": "x)" + std::to_string(i) + R"("})").status, 202);
    ASSERT_EQ(client_.PostJson(Url(), R"([{"sender": "B", "gift": "heart", "value": 0},
                                          {"sender": "C", "gift": "car", "value": 10, "count": 2},
                                          {"sender": "A", "gift": "car", "value": 1}])").status, 202);
    const std::vector<TimedText> texts = CollectFor(60, 4);
    std::vector<std::string> shown;
    for (const TimedText& text : texts) shown.push_back(text.text);
    ASSERT_EQ(shown, (std::vector<std::string>{"A rose 3 x3", "C car 2 ", "A car 1 ", "idle"}));
    // The first thanks after its delay; each of the others only when the
    // one before has had its second.
    EXPECT_GT(texts[0].seconds, 0.7);
    for (size_t i = 1; i < texts.size(); ++i) EXPECT_GT(texts[i].seconds - texts[i - 1].seconds, 0.9) << i;

    const auto record = Record();
    ASSERT_EQ(record.size(), 6u);
    std::vector<std::string> outcomes;
    for (const auto& line : record) outcomes.push_back(line[1] + " " + line[2] + " " + line[6]);
    EXPECT_EQ(outcomes, (std::vector<std::string>{"A rose thanked", "A rose merged", "A rose merged", "B heart filtered",
                                                  "C car thanked", "A car thanked"}));
    EXPECT_EQ(record[3][4], "0");
    EXPECT_EQ(record[4][3], "2");

    // Thanks turned off by a new "Set:": gifts are still taken and recorded.
    data_->SetInt(u"is_use_thanks", 0);
    EXPECT_FALSE(ConfigureTextSource(element_, false));
    ASSERT_EQ(client_.PostJson(Url(), R"({"sender": "D", "gift": "rose"})").status, 202);
    EXPECT_TRUE(CollectFor(1.5).empty());
    EXPECT_EQ(Record().back()[6], "off");
}

TEST_F(GiftEndpoint, EveryRefusalLeavesTheBodyUntaken) {
    auto source = LiveSource(Url() + "?token=s3cret");
    source->BeginScene();
    const std::string auth = "Authorization: Bearer s3cret";
    const std::string gift = R"({"sender": "A", "gift": "rose"})";
    std::string deep = R"({"sender": "A", "gift": "rose", "x": )" + std::string(20000, '[') + std::string(20000, ']') + "}";
    std::string many = "[";
    for (int i = 0; i < 101; ++i) many += (i ? "," : "") + gift;
    many += "]";
    struct Refusal {
        const char* what;
        std::string method, path, body;
        std::vector<std::string> headers;
        long status;
        std::string error;  // a part of the answer's "error"
    };
    const std::string json = "Content-Type: application/json";
    const std::vector<Refusal> refusals = {
        {"no token", "POST", "/gifts", gift, {json}, 401, "Bearer"},
        {"a wrong token", "POST", "/gifts", gift, {json, "Authorization: Bearer s3cre"}, 401, "Bearer"},
        {"a web page", "POST", "/gifts", gift, {json, auth, "Origin: http://example.com"}, 403, "web pages"},
        {"another loopback Host", "POST", "/gifts", gift, {json, auth, "Host: localhost:" + std::to_string(port_)}, 403,
         "Host header must be 127.0.0.1:"},
        {"another path", "POST", "/gift", gift, {json, auth}, 404, "no gift endpoint"},
        {"PUT", "PUT", "/gifts", gift, {json, auth}, 405, "POST"},
        {"DELETE", "DELETE", "/gifts", gift, {json, auth}, 405, "POST"},
        {"plain text", "POST", "/gifts", gift, {"Content-Type: text/plain", auth}, 415, "JSON"},
        {"no content type", "POST", "/gifts", gift, {"Content-Type:", auth}, 415, "JSON"},
        {"another charset", "POST", "/gifts", gift, {"Content-Type: application/json; charset=latin1", auth}, 415, "JSON"},
        {"65 KiB", "POST", "/gifts", std::string(65 * 1024, ' ') + gift, {json, auth}, 413, "65536 bytes"},
        {"10 MB", "POST", "/gifts", std::string(10'000'000, '['), {json, auth}, 413, "65536 bytes"},
        {"10 MB chunked", "POST", "/gifts", std::string(10'000'000, '['), {json, auth, "Transfer-Encoding: chunked"}, 413,
         "65536 bytes"},
        {"a string of 100,000 characters", "POST", "/gifts",
         R"({"sender": ")" + std::string(100'000, 'x') + R"(", "gift": "rose"})", {json, auth}, 413, "65536 bytes"},
        {"a long name", "POST", "/gifts", R"({"sender": ")" + std::string(300, 'x') + R"(", "gift": "rose"})", {json, auth},
         400, "sender is longer than 256 characters"},
        {"no JSON", "POST", "/gifts", "{sender: A}", {json, auth}, 400, "invalid JSON"},
        {"deep nesting", "POST", "/gifts", deep, {json, auth}, 400, "invalid JSON"},
        {"invalid UTF-8", "POST", "/gifts", "{\"sender\": \"\xff\xfe\", \"gift\": \"rose\"}", {json, auth}, 400, "invalid JSON"},
        {"a number beyond a double", "POST", "/gifts", R"({"sender": "A", "gift": "rose", "value": 1e400})", {json, auth},
         400, "value must be a number"},
        {"101 gifts", "POST", "/gifts", many, {json, auth}, 400, "at most 100 gifts"},
        {"one bad gift of two", "POST", "/gifts", "[" + gift + R"(, {"sender": "B"}])", {json, auth}, 400,
         "gift 2: gift is missing"},
    };
    for (const Refusal& refusal : refusals) {
        const HttpAnswer answer = client_.Send(refusal.method, Url(refusal.path), refusal.body, refusal.headers);
        EXPECT_EQ(answer.status, refusal.status) << refusal.what << ": " << answer.body << answer.error;
        const nlohmann::json body = nlohmann::json::parse(answer.body, nullptr, false);
        ASSERT_TRUE(body.is_object()) << refusal.what << ": " << answer.body;
        EXPECT_NE(body.value("error", "").find(refusal.error), std::string::npos) << refusal.what << ": " << answer.body;
        if (refusal.status == 401) {
            EXPECT_EQ(answer.headers.count("www-authenticate"), 1u) << refusal.what;
        }
        if (refusal.status == 405) {
            EXPECT_EQ(answer.headers.count("allow") ? answer.headers.at("allow") : "", "GET, POST") << refusal.what;
        }
    }
    // A Host that names no loopback name is refused by the listener itself.
    EXPECT_EQ(client_.Send("POST", Url(), gift, {json, auth, "Host: evil.example:" + std::to_string(port_)}).status, 400);

    // Nothing of those bodies was taken; the endpoint still takes gifts.
    EXPECT_EQ(State({auth})["received"], 0);
    EXPECT_TRUE(Record().empty());
    EXPECT_EQ(client_.PostJson(Url(), gift, {auth}).status, 202);
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"感谢A赠送的1个rose "});
    EXPECT_EQ(State({auth})["received"], 1);
}

TEST_F(GiftEndpoint, AFullQueueAnswers503UntilThanksAreShown) {
    auto source = LiveSource();
    data_->SetInt(u"delay_show_second", 3600);  // nothing leaves the queue
    data_->SetInt(u"show_second", 7);
    source->BeginScene();
    for (int batch = 0; batch < 10; ++batch) {
        std::string gifts = "[";
        for (int i = 0; i < 100; ++i)
            gifts += (i ? "," : "") + std::string(R"({"sender": "s)") + std::to_string(batch * 100 + i) + R"(", "gift": "g"})";
        ASSERT_EQ(client_.PostJson(Url(), gifts + "]").status, 202) << batch;
    }
    const HttpAnswer full = client_.PostJson(Url(), R"({"sender": "new", "gift": "g", "id": "late"})");
    EXPECT_EQ(full.status, 503) << full.body;
    EXPECT_EQ(full.headers.at("retry-after"), "7");
    // A gift that merges, or that is not thanked, needs no room.
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "s5", "gift": "g"})").status, 202);
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "new", "gift": "g", "value": 0})").status, 202);
    EXPECT_EQ(State()["queued"], 1000);
    EXPECT_EQ(Record().size(), 1002u);

    // The refused gift's id was not remembered: posted again it is refused
    // again, not taken as a duplicate.
    const HttpAnswer again = client_.PostJson(Url(), R"({"sender": "new", "gift": "g", "id": "late"})");
    EXPECT_EQ(again.status, 503) << again.body;
}

// Leaving the scene ("stop:") keeps the thanks still waiting: they are shown
// once the source is shown again. Meanwhile a post is refused with 503, also
// on a connection kept alive from before, and taken once the source is back.
TEST_F(GiftEndpoint, ThanksStillWaitingAtStopAreShownAfterTheNextStart) {
    auto source = LiveSource();
    data_->SetString(u"thanks_string", u"$sender$");
    data_->SetInt(u"show_second", 2);
    source->BeginScene();
    ASSERT_EQ(client_.PostJson(Url(), R"([{"sender": "A", "gift": "g"}, {"sender": "B", "gift": "g"},
                                          {"sender": "C", "gift": "g"}])").status, 202);
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"A"});
    source->EndScene();
    const HttpAnswer hidden = client_.PostJson(Url(), R"({"sender": "D", "gift": "g"})");
    EXPECT_EQ(hidden.status, 503) << hidden.body << hidden.error;
    EXPECT_EQ(hidden.headers.count("retry-after"), 1u);
    EXPECT_TRUE(CollectFor(2.5).empty());

    source->BeginScene();
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "D", "gift": "g"})").status, 202);
    EXPECT_EQ(CollectTexts(3), (std::vector<std::string>{"B", "C", "D"}));
    EXPECT_EQ(State()["received"], 4);
    EXPECT_EQ(Record().size(), 4u);
}

// One client sends half its headers and stalls, another half its body: a
// third client's gift is taken and thanked meanwhile, and the stalled body
// is answered 408 once its time is up.
TEST_F(GiftEndpoint, StalledClientsHoldUpNoOther) {
    auto source = LiveSource();
    source->BeginScene();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    RawConnection halfHeaders(port_), halfBody(port_);
    ASSERT_TRUE(halfHeaders.Write("POST /gifts HTTP/1.1\r\n" + host + "Content-"));
    ASSERT_TRUE(halfBody.Write("POST /gifts HTTP/1.1\r\n" + host +
                               "Content-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"sender\": "));
    const HttpAnswer answer = client_.PostJson(Url(), R"({"sender": "A", "gift": "rose"})");
    EXPECT_EQ(answer.status, 202) << answer.error;
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"感谢A赠送的1个rose "});
    const std::string refused = halfBody.ReadFor(60);  // ends at the server's close
    EXPECT_EQ(refused.rfind("HTTP/1.1 408", 0), 0u) << refused;
    EXPECT_EQ(Record().size(), 1u);
}

TEST_F(GiftEndpoint, APortThatIsTakenOrNotOnTheLoopbackIsReportedAndTheIdleTextShows) {
    PortHolder otherProgram(port_);
    ASSERT_TRUE(otherProgram.Holding());
    auto taken = LiveSource();
    data_->SetInt(u"is_no_thanks", 1);
    data_->SetString(u"no_thanks_string", u"idle");
    taken->BeginScene();
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"idle"});

    const int other = FreeLoopbackPort();
    const std::string port = std::to_string(other);
    auto anyAddress = LiveSource("http://0.0.0.0:" + port + "/gifts");
    anyAddress->BeginScene();
    auto lan = LiveSource("http://192.168.1.20:" + port + "/gifts?token=hidden");
    lan->BeginScene();
    auto secure = LiveSource("https://127.0.0.1:" + port + "/gifts");
    secure->BeginScene();

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("room " + Url() + ": cannot listen on 127.0.0.1:" + std::to_string(port_) + ": "),
              std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("the gift endpoint listens on the loopback only"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("room http://192.168.1.20:" + port + "/gifts?…: "), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].find("hidden"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("only http:// is taken"), std::string::npos) << lines[3];
    EXPECT_FALSE(SomethingListensOn(other));
}

TEST_F(GiftEndpoint, ChannelsOnOneUrlEachGetEveryGiftAndAnotherRoomMovesTheChannel) {
    auto first = LiveSource();
    XElement* firstElement = element_;
    XElement* firstData = data_;
    first->BeginScene();
    auto second = LiveSource();
    second->BeginScene();
    ASSERT_EQ(client_.PostJson(Url(), R"({"sender": "甲", "gift": "花"})").status, 202);
    EXPECT_EQ(CollectTexts(1), std::vector<std::string>{"感谢甲赠送的1个花 "});
    // (By index: the registry may have moved its records since.)
    EXPECT_TRUE(PumpUntil([&] { return channelRegistry[0].text.ToUtf8() == "感谢甲赠送的1个花 "; }));

    // With one channel stopped the other still takes gifts; with both,
    // posts are refused until one is shown again.
    first->EndScene();
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "乙", "gift": "花"})").status, 202);
    second->EndScene();
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "丙", "gift": "花"})").status, 503);
    first->BeginScene();
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "丙", "gift": "花"})").status, 202);

    // A new room named by a later "Set:" moves the channel to another port.
    const int moved = FreeLoopbackPort();
    const std::string movedUrl = "http://localhost:" + std::to_string(moved) + "/gifts";
    firstData->SetString(u"room_name", String(movedUrl.c_str()).Array());
    EXPECT_FALSE(ConfigureTextSource(firstElement, false));
    EXPECT_EQ(client_.PostJson(movedUrl, R"({"sender": "丁", "gift": "花"})").status, 202);
    EXPECT_EQ(client_.PostJson(Url(), R"({"sender": "丁", "gift": "花"})").status, 503);
    first->EndScene();
}

TEST_F(GiftEndpoint, RandomColoursComeFromThePaletteInTurnAndTheIdleTextGetsTheChannelsColour) {
    auto source = LiveSource();
    data_->SetInt(u"RandomColor", 1);
    data_->SetInt(u"RandomModeType", 1);
    data_->SetInt(u"color", static_cast<int>(0xFF102030));
    data_->SetInt(u"show_second", 1);
    source->BeginScene();
    std::vector<uint32_t> colours;
    for (const char* sender : {"A", "B", "C"}) {
        ASSERT_EQ(client_.PostJson(Url(), std::string(R"({"gift": "rose", "sender": ")") + sender + "\"}").status, 202);
    }
    std::vector<std::string> texts;
    PumpUntil([&] {
        if (Entry().redraw && !Entry().text.IsEmpty()) {
            texts.push_back(Entry().text.ToUtf8());
            colours.push_back(static_cast<uint32_t>(data_->GetInt(u"RandomForeColor", 0)));
            Entry().text = String();
        }
        return texts.size() >= 4;
    });
    EXPECT_EQ(texts, (std::vector<std::string>{"感谢A赠送的1个rose ", "感谢B赠送的1个rose ", "感谢C赠送的1个rose ", " "}));
    EXPECT_EQ(colours, (std::vector<uint32_t>{0xFFFFD700, 0xFFFF6347, 0xFF7CFC00, 0xFF102030}));
}

}  // namespace
}  // namespace logic_test
