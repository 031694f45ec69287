// SPDX-License-Identifier: GPL-2.0-or-later
// The gift activity log: what the page shows of an evening, bounded however
// long it runs, and the page's settings kept between runs.

#include "activity/activity_log.h"
#include "activity/page_access.h"
#include "activity/page_settings.h"
#include "tests/test_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>

namespace {

using Json = nlohmann::json;

std::string Gift(const std::string& sender, double value, const std::string& outcome, int giftId = 0) {
    Json gift{{"sender", sender}, {"gift", "花"}, {"count", 2}, {"value", value}, {"outcome", outcome}};
    if (giftId) gift["gift_id"] = giftId;
    return gift.dump();
}

TEST(ActivityLog, KeepsTheLastThousandRowsNewestFirstAndCountsOnlyWhatViewersGave) {
    ActivityLog log;
    log.AddSource(7, "答谢");
    log.AddSource(8, "second");
    for (int i = 1; i <= 1005; ++i) log.AddGift(7, Gift("viewer" + std::to_string(i % 3), 1.0, "thanked", i), i);
    // Shown, never counted: a test gift, a duplicate, a refused one.
    for (const char* outcome : {"test", "duplicate", "refused"}) log.AddGift(8, Gift("big", 1000.0, outcome), 2000);
    log.AddGift(8, Gift("big", 50.0, "filtered"), 2001);
    // Not a gift: dropped. Fields of the wrong type are shown empty.
    log.AddGift(8, "[1,2]", 2002);
    log.AddGift(8, R"({"sender": 5, "value": "lots", "outcome": "merged"})", 2003);
    log.RenameSource(8, "renamed");

    const Json snapshot = log.Snapshot();
    const Json& rows = snapshot["rows"];
    ASSERT_EQ(rows.size(), ActivityLog::kKeptRows);
    EXPECT_EQ(rows.front()["sender"], "");
    EXPECT_EQ(rows.front()["value"], nullptr);
    EXPECT_EQ(rows.front()["count"], 1);
    EXPECT_EQ(rows[1]["outcome"], "filtered");
    EXPECT_EQ(rows[1]["source"], "second") << "a row keeps the name its source had then";
    EXPECT_FALSE(rows[1].contains("gift_id"));
    EXPECT_EQ(rows[5]["gift_id"], 1005);
    EXPECT_EQ(rows[5]["time"], 1005);
    EXPECT_LT(rows.back()["id"].get<uint64_t>(), rows.front()["id"].get<uint64_t>());

    const Json& sources = snapshot["sources"];
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0]["gifts"], 1005);
    EXPECT_DOUBLE_EQ(sources[0]["value"].get<double>(), 1005.0);
    EXPECT_EQ(sources[1]["name"], "renamed");
    EXPECT_EQ(sources[1]["gifts"], 2) << "the filtered and the merged gift";
    EXPECT_DOUBLE_EQ(sources[1]["value"].get<double>(), 50.0);

    const Json& top = snapshot["top"];
    ASSERT_EQ(top.size(), 5u);
    // 335 gifts worth 1 each for each viewer: equal, then by name.
    EXPECT_EQ(top[0]["sender"], "viewer0");
    EXPECT_DOUBLE_EQ(top[0]["value"].get<double>(), 335.0);
    EXPECT_EQ(top[0]["gifts"], 335);
    EXPECT_EQ(top[1]["sender"], "viewer1");
    EXPECT_EQ(top[2]["sender"], "viewer2");
    EXPECT_EQ(top[3]["sender"], "big") << "its test, duplicate and refused gifts are not counted";
    EXPECT_DOUBLE_EQ(top[3]["value"].get<double>(), 50.0);

    log.RemoveSource(7);
    EXPECT_EQ(log.Snapshot()["sources"].size(), 1u);
}

TEST(ActivityLog, AReaderGetsEachRowOnceAndASnapshotWhenItFellTooFarBehind) {
    ActivityLog log;
    log.AddSource(1, "a");
    Json snapshot;
    ActivityLog::Cursor cursor = log.Start(snapshot);
    EXPECT_TRUE(snapshot["rows"].empty());

    log.AddGift(1, Gift("x", 1, "thanked", 1), 1);
    log.AddGift(1, Gift("y", 1, "merged", 2), 2);
    ActivityLog::Changes changes;
    ASSERT_TRUE(log.WaitForChanges(cursor, changes, std::chrono::seconds(5)));
    ASSERT_EQ(changes.rows.size(), 2u);
    EXPECT_EQ(Json::parse(changes.rows[0])["sender"], "x");
    EXPECT_EQ(Json::parse(changes.rows[1])["sender"], "y");
    EXPECT_FALSE(changes.missedRows);
    // The totals those gifts changed come once a reader's interval allows;
    // after them, nothing.
    std::this_thread::sleep_for(ActivityLog::kSourcesInterval);
    ASSERT_TRUE(log.WaitForChanges(cursor, changes, std::chrono::milliseconds(1)));
    ASSERT_TRUE(changes.sources);
    EXPECT_EQ(Json::parse(*changes.sources)["sources"][0]["gifts"], 2);
    EXPECT_TRUE(changes.rows.empty());
    ASSERT_TRUE(log.WaitForChanges(cursor, changes, std::chrono::milliseconds(1)));
    EXPECT_FALSE(changes.sources);
    EXPECT_TRUE(changes.rows.empty());
    EXPECT_TRUE(log.Watched());

    for (size_t i = 0; i <= ActivityLog::kKeptRows; ++i) log.AddGift(1, Gift("z", 1, "thanked"), 3);
    ASSERT_TRUE(log.WaitForChanges(cursor, changes, std::chrono::seconds(5)));
    EXPECT_TRUE(changes.missedRows);
    EXPECT_TRUE(changes.rows.empty());

    // A source's name that is not UTF-8 (a script may give one) is shown
    // replaced, never thrown on; a payload that is not is no JSON, dropped.
    log.AddSource(2, "bad\xff");
    log.AddGift(2, Gift("x", 1, "thanked"), 4);
    log.AddGift(2, "{\"sender\": \"bad\xff\"}", 5);
    ASSERT_TRUE(log.WaitForChanges(cursor, changes, std::chrono::seconds(5)));
    ASSERT_EQ(changes.rows.size(), 1u);
    EXPECT_NE(changes.rows[0].find("bad\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(log.Snapshot().dump(-1, ' ', false, Json::error_handler_t::replace).find("bad\xEF\xBF\xBD"),
              std::string::npos);

    log.Close();
    EXPECT_FALSE(log.WaitForChanges(cursor, changes, std::chrono::seconds(5)));
}

TEST(PageSettings, TheAddressIsKeptAcrossRunsAndABrokenFileIsSetAsideNotLost) {
    const std::filesystem::path folder = FreshTestFolder("page-settings");
    const std::string path = (folder / "config" / "activity.json").string();
    std::string problem;
    PageSettings first = LoadPageSettings(path, problem);
    EXPECT_TRUE(problem.empty()) << problem;
    EXPECT_TRUE(IsPageToken(first.token));
    EXPECT_EQ(first.port, 0);
    EXPECT_NE(NewPageToken(), first.token);

    first.port = 40123;
    std::string error;
    ASSERT_TRUE(SavePageSettings(path, first, error)) << error;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the token is the streamer's alone";
    const PageSettings again = LoadPageSettings(path, problem);
    EXPECT_EQ(again.port, 40123);
    EXPECT_EQ(again.token, first.token);

    std::ofstream(path) << R"({"port": 40123, "token": "short"})";
    const PageSettings fresh = LoadPageSettings(path, problem);
    EXPECT_NE(problem.find("no token of 32 hexadecimal digits"), std::string::npos) << problem;
    EXPECT_NE(problem.find(path + ".broken"), std::string::npos) << problem;
    EXPECT_TRUE(IsPageToken(fresh.token));
    EXPECT_TRUE(std::filesystem::exists(path + ".broken"));
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_TRUE(TokenMatches(first.token, first.token));
    EXPECT_FALSE(TokenMatches(first.token.substr(1), first.token));
    EXPECT_FALSE(TokenMatches("", ""));
}

}  // namespace
