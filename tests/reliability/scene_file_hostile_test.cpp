// SPDX-License-Identifier: GPL-2.0-or-later
// Hostile scene files: whatever the file holds, loading gives a document or
// a message naming the file, the document in memory stays as it was on a
// refusal, and the file itself is never touched by a load.
#include "host/scene_document.h"
#include "scenehost/scene_model.h"
#include "tests/test_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Error(const std::string& text) {
    SceneDocument scene;
    scene.Root()->SetInt(u"kept", 7);
    const SceneFileResult result = scene.Parse(text, "s.json");
    EXPECT_EQ(scene.Root()->GetInt(u"kept", 0), result.ok ? 0 : 7) << text;
    return result.ok ? std::string() : result.error;
}

std::string ModelError(const std::string& text) {
    SceneDocument scene;
    const SceneFileResult parsed = scene.Parse(text, "s.json");
    EXPECT_TRUE(parsed.ok) << parsed.error;
    std::string error;
    return ReadScene(scene, "s.json", error) ? std::string() : error;
}

TEST(HostileSceneFile, MalformedJsonIsRefusedWithItsPlace) {
    EXPECT_EQ(Error("{\"a\": 1,\n \"b\": }").rfind("s.json:2:7: malformed JSON", 0), 0u);
    EXPECT_EQ(Error("{\"a\": \"open").rfind("s.json:1:", 0), 0u);
    EXPECT_EQ(Error("").rfind("s.json:1:1: malformed JSON", 0), 0u);
    EXPECT_NE(Error("{\"a\": \"\xff\xfe\"}").find("malformed JSON"), std::string::npos);  // not UTF-8
    EXPECT_NE(Error("{\"a\": 1} trailing").find("malformed JSON"), std::string::npos);
    EXPECT_NE(Error(std::string("{\"a\"\0: 1}", 9)).find("malformed JSON"), std::string::npos);
    EXPECT_NE(Error("\"just a string\"").find("must be a JSON object"), std::string::npos);
}

TEST(HostileSceneFile, NaNAndNumbersBeyondADoubleAreRefusedNotThrown) {
    EXPECT_NE(Error("{\"x\": NaN}").find("s.json:1:7: malformed JSON"), std::string::npos);
    EXPECT_NE(Error("{\"x\": Infinity}").find("malformed JSON"), std::string::npos);
    // A number past a double's range is a parse failure, not an exception
    // out of the loader (it used to end the host).
    EXPECT_EQ(Error("{\"canvas\": {\n  \"width\": 1e400}}"), "s.json:2:12: malformed JSON: number out of range: 1e400");
    EXPECT_EQ(Error("{\"x\": -2e999}").rfind("s.json:1:7: malformed JSON: number out of range", 0), 0u);
}

TEST(HostileSceneFile, HugeNumbersWithinADoubleReadAsSaneSettings) {
    SceneDocument scene;
    ASSERT_TRUE(scene.Parse(R"({"a": 1e308, "b": -1e308, "c": 18446744073709551616, "d": -9223372036854775809,
                               "e": 99999999999999999999, "f": 1e-320})", "s.json").ok);
    XElement* root = scene.Root();
    for (const char16_t* key : {u"a", u"b", u"c", u"d", u"e", u"f"}) {
        (void)root->GetInt(key, 5);
        EXPECT_TRUE(std::isfinite(root->GetFloat(key, 5.0f)) || std::isinf(root->GetFloat(key, 5.0f)));
        EXPECT_FALSE(root->GetString(key, u"").IsEmpty());
    }
    // The scene model refuses coordinates and canvas sides it cannot use.
    EXPECT_NE(ModelError(R"({"sources": {"s": {"class": "X", "x": 1e308, "y": 0}}})"), "");
    EXPECT_NE(ModelError(R"({"canvas": {"width": 99999999999, "height": 10}})"), "");
    EXPECT_NE(ModelError(R"({"canvas": {"width": -1, "height": 10}})"), "");
}

TEST(HostileSceneFile, WrongValueTypesAreNamedByTheModelAndDefaultInSettings) {
    EXPECT_NE(ModelError(R"({"canvas": "big"})").find("canvas"), std::string::npos);
    EXPECT_NE(ModelError(R"({"canvas": {"width": "wide", "height": 10}})").find("width"), std::string::npos);
    EXPECT_NE(ModelError(R"({"canvas": {"background": 5.5}})").find("background"), std::string::npos);
    EXPECT_NE(ModelError(R"({"sources": [1, 2]})").find("sources"), std::string::npos);
    EXPECT_NE(ModelError(R"({"sources": {"s": {"class": 5}}})").find("class"), std::string::npos);
    EXPECT_NE(ModelError(R"({"sources": {"s": "thanks"}})").find("s"), std::string::npos);
    // A name with a NUL cannot be handed to a plug-in as an element name (it
    // used to leave the source without an element and crash the host).
    EXPECT_EQ(ModelError(R"({"sources": {"a\u0000b": {"class": "X"}}})"),
              "s.json: a source's name must not hold a NUL character (\\u0000)");

    // Inside a source's settings every type is read, never refused: the
    // plug-in gets its defaults for what does not fit.
    SceneDocument scene;
    ASSERT_TRUE(scene.Parse(R"({"d": {"fontSize": [48], "font": {"name": "x"}, "color": null, "bold": "yes"}})",
                            "s.json").ok);
    XElement* d = scene.Root()->GetElement(u"d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetInt(u"fontSize", 48), 48);
    EXPECT_TRUE(d->GetString(u"font", u"Arial") == u"Arial");
    EXPECT_EQ(d->GetInt(u"color", -1), -1);
    EXPECT_EQ(d->GetInt(u"bold", 0), 0);
    EXPECT_EQ(d->GetElement(u"fontSize"), nullptr);
    // Writing through a view whose object was replaced by a plain value does nothing.
    scene.Json()["d"] = 3;
    d->SetInt(u"fontSize", 10);
    EXPECT_EQ(scene.Json()["d"], 3);
}

TEST(HostileSceneFile, DeepNestingIsRefusedBeforeParsing) {
    EXPECT_NE(Error("{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}").find("nested deeper"),
              std::string::npos);
    // Brackets inside strings do not count.
    EXPECT_EQ(Error("{\"a\": \"" + std::string(1000, '[') + "\"}"), "");
    const std::string atLimit = std::string(SceneDocument::kMaxDepth - 1, '[') + std::string(SceneDocument::kMaxDepth - 1, ']');
    EXPECT_EQ(Error("{\"a\":" + atLimit + "}"), "");
}

TEST(HostileSceneFile, AHundredMegabyteFileIsRefusedBySizeAndLeftAlone) {
    const fs::path folder = FreshTestFolder("hostile-big-scene");
    const fs::path path = folder / "big.json";
    {
        std::ofstream out(path);
        out << "{\"a\": 1}";
    }
    fs::resize_file(path, 100u << 20);  // sparse: the size is what counts
    SceneDocument scene;
    const SceneFileResult result = scene.Load(path.string());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(path.string()), std::string::npos);
    EXPECT_NE(result.error.find("bytes"), std::string::npos) << result.error;
    EXPECT_EQ(fs::file_size(path), 100u << 20);
    fs::remove_all(folder);
}

TEST(HostileSceneFile, SavesNeverLeaveAHalfWrittenFile) {
    const fs::path folder = FreshTestFolder("hostile-save");
    const fs::path path = folder / "scene.json";
    SceneDocument scene;
    scene.Root()->SetString(u"name", u"first");
    ASSERT_TRUE(scene.Save(path.string()).ok);
    const std::string first = [&] {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();

    // A read-only folder: the save is refused with a message and the old
    // file stays whole with no temporary file left behind. (Root ignores
    // permissions, so this part runs only for other users.)
    scene.Root()->SetString(u"name", u"second");
    if (geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        const SceneFileResult refused = scene.Save(path.string());
        fs::permissions(folder, fs::perms::owner_all);
        EXPECT_FALSE(refused.ok);
        EXPECT_NE(refused.error.find("old file is unchanged"), std::string::npos) << refused.error;
    }
    // A read-only file in a writable folder is replaced whole, as a rename
    // replaces it, and keeps its read-only mode.
    fs::permissions(path, fs::perms::owner_read);
    ASSERT_TRUE(scene.Save(path.string()).ok);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read);
    SceneDocument again;
    ASSERT_TRUE(again.Load(path.string()).ok);
    EXPECT_TRUE(again.Root()->GetString(u"name", u"") == u"second");
    EXPECT_NE(first.find("first"), std::string::npos);
    // A folder that does not exist.
    EXPECT_FALSE(scene.Save((folder / "no" / "scene.json").string()).ok);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, 1u);
    fs::remove_all(folder);
}

}  // namespace
