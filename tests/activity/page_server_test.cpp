// SPDX-License-Identifier: GPL-2.0-or-later
// The gift activity page's server through a stock HTTP client (libcurl) and
// a raw socket: who is refused, and with what; the controls reach their
// handler only from the page itself; the event stream carries each gift in
// order and ends when the server stops.

#include "activity/activity_log.h"
#include "activity/page_access.h"
#include "activity/page_server.h"
#include "tests/gift_client/gift_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;

struct ControlCall {
    std::string source, action, giftId;
};

class PageServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        PageServer::Options options;
        options.token = token;
        options.pageFolder = MORVIK_PAGE_DIR;
        options.locale = "zh-CN";
        options.control = [this](const std::string& source, const std::string& action, const std::string& giftId) {
            std::lock_guard lock(mutex);
            calls.push_back({source, action, giftId});
            return PageServer::ControlAnswer{200, R"({"queued":0,"paused":true})"};
        };
        std::string error;
        server = PageServer::Start(log, options, error);
        ASSERT_TRUE(server) << error;
        port = server->Port();
        base = "http://127.0.0.1:" + std::to_string(port) + "/";
    }

    size_t Calls() {
        std::lock_guard lock(mutex);
        return calls.size();
    }

    const std::string token = NewPageToken();
    ActivityLog log;
    std::unique_ptr<PageServer> server;
    uint16_t port = 0;
    std::string base;
    GiftClient client;
    std::mutex mutex;
    std::vector<ControlCall> calls;
};

TEST_F(PageServerTest, OnlyThePageItselfIsServedAndOnlyItsOwnControlsAreTaken) {
    EXPECT_EQ(server->Url(), base + token + "/");
    HttpAnswer page = client.Send("GET", server->Url());
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.headers["content-type"], "text/html; charset=utf-8");
    EXPECT_NE(page.headers["content-security-policy"].find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(page.headers["cache-control"], "no-store");
    for (const char* file : {"app.js", "style.css"}) EXPECT_EQ(client.Send("GET", server->Url() + file).status, 200);
    const Json state = Json::parse(client.Send("GET", server->Url() + "api/state").body);
    EXPECT_EQ(state["locale"], "zh-CN");
    EXPECT_EQ(state["url"], server->Url());
    HttpAnswer redirect = client.Send("GET", base + token);
    EXPECT_EQ(redirect.status, 308);
    EXPECT_EQ(redirect.headers["location"], "/" + token + "/");
    EXPECT_EQ(client.Send("GET", base + token + "/", "", {"Host: localhost:" + std::to_string(port)}).status, 200);

    // No token, a wrong one, another host (a name rebound to the loopback,
    // or another port), a path or method the page does not have.
    std::string wrong = token;
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
    const std::vector<std::pair<HttpAnswer, long>> refused = {
        {client.Send("GET", base), 401},
        {client.Send("GET", base + wrong + "/api/state"), 401},
        {client.Send("GET", server->Url(), "", {"Host: evil.example:" + std::to_string(port)}), 403},
        {client.Send("GET", server->Url(), "", {"Host: 127.0.0.1:1"}), 403},
        {client.Send("GET", server->Url() + "nothing-here"), 404},
        {client.Send("GET", server->Url() + "api/control"), 405},
        {client.Send("DELETE", server->Url()), 405},
    };
    for (const auto& [answer, status] : refused) {
        EXPECT_EQ(answer.status, status) << answer.body;
        EXPECT_TRUE(answer.headers.find("access-control-allow-origin") == answer.headers.end());
        EXPECT_TRUE(Json::parse(answer.body, nullptr, false).contains("error")) << answer.body;
    }

    // Controls: from the page (its Origin, or none) they reach the handler,
    // from another page never; bodies too large or malformed are refused.
    const std::string control = server->Url() + "api/control";
    const std::string pause = R"({"source": "答谢", "action": "pause"})";
    EXPECT_EQ(client.PostJson(control, pause, {"Origin: http://evil.example"}).status, 403);
    EXPECT_EQ(client.PostJson(control, pause, {"Origin: http://127.0.0.1:" + std::to_string(port + 1)}).status, 403);
    EXPECT_EQ(client.PostJson(control, std::string(PageServer::kMaxBody + 1, ' ')).status, 413);
    EXPECT_EQ(client.PostJson(control, "{\"source\": 1}").status, 400);
    EXPECT_EQ(client.PostJson(control, R"({"source": "a", "action": "again", "gift_id": "7"})").status, 400);
    EXPECT_EQ(client.PostJson(base + wrong + "/api/control", pause).status, 401);
    EXPECT_EQ(Calls(), 0u) << "a refused control must not run";

    const HttpAnswer paused = client.PostJson(control, pause, {"Origin: http://127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(paused.status, 200);
    EXPECT_EQ(paused.body, R"({"queued":0,"paused":true})");
    EXPECT_EQ(client.PostJson(control, R"({"source": "答谢", "action": "again", "gift_id": 17})").status, 200);
    ASSERT_EQ(Calls(), 2u);
    EXPECT_EQ(calls[0].source, "答谢");
    EXPECT_EQ(calls[0].action, "pause");
    EXPECT_EQ(calls[1].action, "again");
    EXPECT_EQ(calls[1].giftId, "17");

    // Another program holds a port: the server says so rather than share it.
    const int taken = FreeLoopbackPort();
    PortHolder holder(taken);
    ASSERT_TRUE(holder.Holding());
    ActivityLog otherLog;
    PageServer::Options options;
    options.port = static_cast<uint16_t>(taken);
    options.token = token;
    options.pageFolder = MORVIK_PAGE_DIR;
    std::string error;
    EXPECT_FALSE(PageServer::Start(otherLog, options, error));
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(taken)), std::string::npos) << error;
    options.port = 0;
    options.pageFolder = "/nonexistent";
    EXPECT_FALSE(PageServer::Start(otherLog, options, error));
    EXPECT_NE(error.find("reinstall"), std::string::npos) << error;
}

TEST_F(PageServerTest, TheStreamCarriesEachGiftInOrderAndEndsWhenTheServerStops) {
    log.AddSource(1, "答谢");
    EventStreamReader reader(port, "/" + token + "/events");
    ASSERT_TRUE(reader.Connected());
    const std::vector<Json> snapshots = reader.Events("snapshot", 1);
    ASSERT_EQ(snapshots.size(), 1u) << reader.Text();
    EXPECT_NE(reader.Text().find("text/event-stream"), std::string::npos);
    EXPECT_EQ(snapshots[0]["sources"][0]["name"], "答谢");

    for (int i = 1; i <= 50; ++i)
        log.AddGift(1, Json{{"sender", "观众" + std::to_string(i)}, {"outcome", "thanked"}, {"gift_id", i}}.dump(), i);
    log.SetOnAir(1, "感谢观众50");
    const std::vector<Json> gifts = reader.Events("gift", 50);
    ASSERT_EQ(gifts.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(gifts[i]["sender"], "观众" + std::to_string(i + 1));
    std::vector<Json> sources = reader.Events("sources", 1);
    for (int round = 0; round < 20 && (sources.empty() || sources.back()["sources"][0]["on_air"] != "感谢观众50"); ++round)
        sources = reader.Events("sources", sources.size() + 1);
    ASSERT_FALSE(sources.empty());
    EXPECT_EQ(sources.back()["sources"][0]["on_air"], "感谢观众50");
    EXPECT_EQ(sources.back()["sources"][0]["gifts"], 50);

    // Stopping ends the stream that waits for the log; it does not hang.
    auto stopped = std::async(std::launch::async, [this] { server.reset(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(reader.ClosedWithin(5.0));
    EXPECT_FALSE(SomethingListensOn(port));
}

}  // namespace
