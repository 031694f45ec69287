// SPDX-License-Identifier: GPL-2.0-or-later
// The gift activity page as the module serves it in libobs: its address
// kept in the module's configuration and never logged whole, every gift a
// source announces on the page's event stream under that source's name, in
// order, and the page's controls acting on the source as the other doors do.

#include "tests/gift_client/gift_client.h"
#include "tests/obs/obs_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace obs_test {
namespace {

using Json = nlohmann::json;

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ObsActivity, GiftsAppearOnThePageUnderTheirSourceAndThePagesControlsActOnIt) {
    const Json kept = Json::parse(ReadFile(HeadlessModuleConfigDir() + "/morvik-thanks/activity.json"), nullptr, false);
    ASSERT_TRUE(kept.is_object());
    const int port = kept["port"].get<int>();
    const std::string token = kept["token"].get<std::string>();
    const std::string page = "http://127.0.0.1:" + std::to_string(port) + "/" + token + "/";
    EXPECT_TRUE(LogHas("the gift activity page is served at http://127.0.0.1:" + std::to_string(port) + "/" +
                       token.substr(0, 4) + "…/"));
    EXPECT_FALSE(LogHas(token)) << "the token is never logged whole";

    const std::string name = "礼物 动态";
    TestSource source(name.c_str(), R"({"show_second": 10, "delay_show_second": 0})");
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return Holds(CallControlProcedure(name, "state"), R"("received":0)"); }));

    EventStreamReader stream(port, "/" + token + "/events");
    const std::vector<Json> snapshots = stream.Events("snapshot", 1);
    ASSERT_EQ(snapshots.size(), 1u) << stream.Text();
    EXPECT_EQ(snapshots[0]["locale"], "en-US");
    bool listed = false;
    for (const Json& listedSource : snapshots[0]["sources"]) listed = listed || listedSource["name"] == name;
    EXPECT_TRUE(listed) << snapshots[0].dump();

    const std::string gifts = R"([{"sender": "甲", "gift": "花", "value": 10, "id": "page-1"},
                                  {"sender": "乙", "gift": "花", "value": 30, "id": "page-2"},
                                  {"sender": "丙", "gift": "船", "count": 2, "value": 500, "id": "page-3"}])";
    EXPECT_TRUE(Holds(CallControlProcedure(name, "gifts", gifts), R"("accepted":3)"));
    const std::vector<Json> rows = stream.Events("gift", 3);
    ASSERT_EQ(rows.size(), 3u) << stream.Text();
    const char* senders[] = {"甲", "乙", "丙"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i]["source"], name);
        EXPECT_EQ(rows[i]["sender"], senders[i]);
        EXPECT_EQ(rows[i]["outcome"], "thanked");
    }
    EXPECT_EQ(rows[2]["count"], 2);

    // The page's pause, as the page's own script sends it.
    GiftClient client;
    const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(port);
    const HttpAnswer paused = client.PostJson(page + "api/control",
                                              Json{{"source", name}, {"action", "pause"}}.dump(), {origin});
    EXPECT_EQ(paused.status, 200);
    EXPECT_TRUE(Holds(paused.body, R"("paused":true)")) << paused.body;
    EXPECT_TRUE(Holds(CallControlProcedure(name, "state"), R"("paused":true)"));
    // What the page shows of the source follows.
    EXPECT_TRUE(WaitFor([&] {
        const Json state = Json::parse(client.Send("GET", page + "api/state").body);
        for (const Json& shown : state["sources"])
            if (shown["name"] == name) return shown["paused"] == true;
        return false;
    })) << client.Send("GET", page + "api/state").body;
    EXPECT_EQ(client.PostJson(page + "api/control", Json{{"source", name}, {"action", "resume"}}.dump()).status, 200);
    EXPECT_TRUE(Holds(CallControlProcedure(name, "state"), R"("paused":false)"));

    // Another page, another source, another control: refused, nothing done.
    EXPECT_EQ(client.PostJson(page + "api/control", Json{{"source", name}, {"action", "pause"}}.dump(),
                              {"Origin: http://evil.example"})
                  .status,
              403);
    EXPECT_EQ(client.PostJson(page + "api/control", Json{{"source", "nobody"}, {"action", "pause"}}.dump()).status,
              404);
    EXPECT_EQ(client.PostJson(page + "api/control", Json{{"source", name}, {"action", "gifts"}}.dump()).status, 400);
    EXPECT_TRUE(Holds(CallControlProcedure(name, "state"), R"("paused":false)"));
    source.Hide();
}

}  // namespace
}  // namespace obs_test
