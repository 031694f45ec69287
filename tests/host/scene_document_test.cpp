// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/scene_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path TempFolder() {
    char pattern[] = "/tmp/morvik-scene-XXXXXX";
    return fs::path(mkdtemp(pattern));
}

TEST(SceneDocument, ConversionsBetweenStoredAndAskedTypes) {
    SceneDocument doc;
    ASSERT_TRUE(doc.Parse(R"({"d": {"f": 2.7, "n": -2.7, "t": "12px", "w": "abc", "u": 4294901760,
                            "b": true, "s": " -5", "o": {}, "big": 1e300, "fs": "1.5e1x",
                            "inf": "inf", "huge": "1e999"}})", "test").ok);
    XElement* d = doc.Root()->GetElement(u"d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetInt(u"f", 9), 2);
    EXPECT_EQ(d->GetInt(u"n", 9), -2);
    EXPECT_EQ(d->GetInt(u"t", 9), 12);
    EXPECT_EQ(d->GetInt(u"w", 9), 9);
    EXPECT_EQ(d->GetInt(u"u", 9), -65536);
    EXPECT_EQ(d->GetInt(u"b", 9), 1);
    EXPECT_EQ(d->GetInt(u"s", 9), -5);
    EXPECT_EQ(d->GetInt(u"o", 9), 9);
    EXPECT_EQ(d->GetInt(u"big", 9), 9);
    EXPECT_EQ(d->GetInt(u"missing", 9), 9);
    EXPECT_FLOAT_EQ(d->GetFloat(u"fs", 0), 15.0f);
    EXPECT_FLOAT_EQ(d->GetFloat(u"w", 3.5f), 3.5f);
    EXPECT_FLOAT_EQ(d->GetFloat(u"big", 3.5f), 3.5f);
    EXPECT_FLOAT_EQ(d->GetFloat(u"inf", 3.5f), 3.5f);
    EXPECT_FLOAT_EQ(d->GetFloat(u"huge", 3.5f), 3.5f);
    EXPECT_FLOAT_EQ(d->GetFloat(u"t", 0), 12.0f);
    EXPECT_FLOAT_EQ(d->GetFloat(u"u", 0), 4294901760.0f);
    EXPECT_TRUE(d->GetString(u"f", u"x") == u"2.7");
    EXPECT_TRUE(d->GetString(u"u", u"x") == u"4294901760");
    EXPECT_TRUE(d->GetString(u"o", u"x") == u"x");
    EXPECT_EQ(d->GetElement(u"f"), nullptr);
}

TEST(SceneDocument, ChildViewsSurviveKeysAddedBesideThem) {
    SceneDocument doc;
    XElement* source = doc.Root()->CreateElement(u"source");
    XElement* data = source->CreateElement(u"data");
    data->SetString(u"innerId", u"42");
    for (int i = 0; i < 100; ++i) source->SetInt(String(u"k").operator<<(i).Array(), i);
    data->SetInt(u"fontSize", 72);
    EXPECT_EQ(source->GetElement(u"data"), data);
    EXPECT_TRUE(data->GetString(u"innerId") == u"42");
    EXPECT_EQ(doc.Json()["source"]["data"]["fontSize"], 72);

    // Its object replaced by a plain value: reads give defaults, writes do nothing.
    source->SetInt(u"data", 1);
    EXPECT_EQ(data->GetInt(u"fontSize", 5), 5);
    data->SetInt(u"fontSize", 8);
    EXPECT_EQ(doc.Json()["source"]["data"], 1);
}

TEST(SceneDocument, SaveAndLoadKeepChineseTextOrderAndFloats) {
    const fs::path folder = TempFolder();
    const std::string path = (folder / "scene.json").string();
    SceneDocument doc;
    XElement* data = doc.Root()->CreateElement(u"data");
    data->SetString(u"thanks_string", u"感谢$sender$赠送的$num$个$gift$");
    data->SetString(u"zeta", u"z");
    data->SetFloat(u"baseSizeCX", 180.4f);
    data->SetString(u"alpha", u"a");
    ASSERT_TRUE(doc.Save(path).ok);
    EXPECT_NE(ReadFile(path).find("180.4,"), std::string::npos);

    SceneDocument loaded;
    ASSERT_TRUE(loaded.Load(path).ok);
    XElement* back = loaded.Root()->GetElement(u"data");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->GetString(u"thanks_string") == u"感谢$sender$赠送的$num$个$gift$");
    EXPECT_EQ(back->GetFloat(u"baseSizeCX", 0), 180.4f);
    std::vector<std::string> keys;
    for (auto& item : loaded.Json()["data"].items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"thanks_string", "zeta", "baseSizeCX", "alpha"}));
    fs::remove_all(folder);
}

TEST(SceneDocument, AFailedSaveLeavesTheOldFileWhole) {
    const fs::path folder = TempFolder();
    const fs::path path = folder / "scene.json";
    std::ofstream(path) << "{\"old\": 1}\n";
    SceneDocument doc;
    doc.Root()->SetInt(u"new", 2);

    // A folder that cannot take the temporary file (its place is a file).
    const SceneFileResult notAFolder = doc.Save((folder / "scene.json" / "x.json").string());
    EXPECT_FALSE(notAFolder.ok);
    // The temporary file is written but cannot replace its target (a
    // non-empty folder stands there): the temporary file is removed again.
    fs::create_directories(folder / "taken.json" / "inside");
    EXPECT_FALSE(doc.Save((folder / "taken.json").string()).ok);
    EXPECT_TRUE(fs::is_directory(folder / "taken.json" / "inside"));
    EXPECT_EQ(ReadFile(path), "{\"old\": 1}\n");

    // The disk refuses the write half-way (a file size limit stands in for a
    // full disk, and holds for root too): the old file at the very same path
    // stays whole.
    for (int i = 0; i < 50; ++i) doc.Root()->SetString(String(u"key").operator<<(i).Array(), u"一些中文文字");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const SceneFileResult full = doc.Save(path.string());
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(full.ok);
    EXPECT_NE(full.error.find("the old file is unchanged"), std::string::npos) << full.error;
    EXPECT_EQ(ReadFile(path), "{\"old\": 1}\n");
    // Only the old file is left: no temporary files behind.
    size_t files = 0;
    for (auto& entry : fs::directory_iterator(folder)) files += entry.path().filename().string().find("saving") != std::string::npos;
    EXPECT_EQ(files, 0u);
    fs::remove_all(folder);
}

TEST(SceneDocument, MalformedFilesAreReportedWithLineAndLeftUntouched) {
    const fs::path folder = TempFolder();
    const fs::path path = folder / "bad.json";
    const std::string text = "{\n  \"a\": 1,\n  \"b\": ,\n}\n";
    std::ofstream(path) << text;
    SceneDocument doc;
    doc.Root()->SetInt(u"kept", 1);
    const SceneFileResult result = doc.Load(path.string());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(path.string() + ":3:8:"), std::string::npos) << result.error;
    // Columns count characters: the comma after two Chinese characters.
    EXPECT_NE(doc.Parse("{\"名字\" ,}", "cjk").error.find("cjk:1:7:"), std::string::npos);
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_EQ(doc.Root()->GetInt(u"kept", 0), 1);

    EXPECT_FALSE(doc.Parse("[1, 2]", "array").ok);
    EXPECT_FALSE(doc.Parse(std::string(1000, '[') + std::string(1000, ']'), "deep").ok);
    EXPECT_FALSE(doc.Load((folder / "missing.json").string()).ok);
    EXPECT_NE(doc.Load(folder.string()).error.find("not a regular file"), std::string::npos);
    fs::remove_all(folder);
}

}  // namespace
