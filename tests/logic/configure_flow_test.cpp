// SPDX-License-Identifier: GPL-2.0-or-later
// The scene hooks and the configure flow against the real runtime and the
// reference assembly: the commands it received, in order, from its journal;
// the form played from a form script drives the accept path, and the font it
// changes is measured before the call returns.
#include "logic_test_support.h"

#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"

#include <memory>

namespace logic_test {
namespace {

class ConfigureFlow : public LogicTest {
protected:
    void UseForm(const std::string& script) {
        setenv("TAVREL_FORM", WriteFile(folder_ / "form.txt", script).c_str(), 1);
    }

    std::string Number(XElement* data) { return data->GetString(u"innerId").ToUtf8(); }

    // The journal lines after the first `skip`, with each "Set:" cut to its
    // window number: the settings layout has tests of its own.
    std::vector<std::string> Commands(size_t skip = 0) {
        std::vector<std::string> lines = Journal();
        std::vector<std::string> commands;
        for (size_t i = skip; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            commands.push_back(line.rfind("Set:", 0) == 0 ? line.substr(0, line.find("{|}")) : line);
        }
        return commands;
    }

    std::vector<String> Boxes() { return log.Of(LogKind::MessageBox); }
};

TEST_F(ConfigureFlow, ANewSourceGetsAChannelThenSettingsThenTheForm) {
    XElement* element = NewSourceElement("thanks");
    EXPECT_FALSE(ConfigureTextSource(element, true));  // no form script and no display: cancelled
    const std::vector<std::string> logged = LogLines();
    EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const std::string& line) {
        return line.find("the settings form needs an X display") != std::string::npos;
    })) << "cancelled without saying why";
    XElement* data = element->GetElement(u"data");
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(channelRegistry.Size(), 1u);
    const std::string n = std::to_string(WindowNumber(channelRegistry[0].window));
    EXPECT_EQ(Number(data), n);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"setPlatform:4", "init:" + n, "Set:" + n, "ShowForm:" + n}));
    EXPECT_FALSE(element->HasItem(u"cx"));
    EXPECT_FALSE(element->HasItem(u"cy"));
    EXPECT_TRUE(Boxes().empty());

    // Again: the same channel, settings and form only.
    EXPECT_FALSE(ConfigureTextSource(element, false));
    EXPECT_EQ(channelRegistry.Size(), 1u);
    EXPECT_EQ(Commands(4), (std::vector<std::string>{"Set:" + n, "ShowForm:" + n}));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ConfigureFlow, AnAcceptedFormsChangesAreMeasuredAtOnceAndStoredAsTheSize) {
    XElement* element = NewSourceElement("thanks");
    UseForm("int fontSize 24\nresult 0\n");
    ASSERT_TRUE(ConfigureTextSource(element, true));
    XElement* data = element->GetElement(u"data");
    const float smallCx = element->GetFloat(u"cx");
    EXPECT_EQ(data->GetInt(u"fontSize"), 24);

    UseForm("# the user's choices\n"
            "int fontSize 72\n"
            "string font Liberation Serif\n"
            "color color 16711680\n"
            "int bold nonsense\n"
            "frobnicate x 1\n"
            "result 0\n");
    ASSERT_TRUE(ConfigureTextSource(element, false));
    EXPECT_EQ(data->GetInt(u"fontSize"), 72);
    EXPECT_EQ(data->GetString(u"font").ToUtf8(), "Liberation Serif");
    EXPECT_EQ(data->GetInt(u"color"), -65536);  // made opaque by the channel
    EXPECT_FALSE(data->HasItem(u"bold"));        // a line that is no integer is skipped
    EXPECT_EQ(element->GetFloat(u"cx"), data->GetFloat(u"baseSizeCX"));
    EXPECT_EQ(element->GetFloat(u"cy"), data->GetFloat(u"baseSizeCY"));
    EXPECT_GE(element->GetFloat(u"cy"), 72.0f);
    EXPECT_GT(element->GetFloat(u"cx"), 2.5f * smallCx);  // the hint measured at 72, not at 24
    EXPECT_TRUE(Boxes().empty());

    // A form without a result line accepts.
    UseForm("int fontSize 30\n");
    EXPECT_TRUE(ConfigureTextSource(element, false));
    EXPECT_EQ(data->GetInt(u"fontSize"), 30);
}

TEST_F(ConfigureFlow, AnErrorOrAFailedCallShowsTheMessageAndStoresNoSize) {
    XElement* element = NewSourceElement("thanks");
    element->SetFloat(u"cx", 11.0f);
    element->SetFloat(u"cy", 22.0f);

    UseForm("int fontSize 72\nresult 2\n");
    EXPECT_FALSE(ConfigureTextSource(element, true));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(Boxes()[0] == kConfigurationErrorText);
    // What the form sent before it failed stays; the size is not touched.
    EXPECT_EQ(element->GetElement(u"data")->GetInt(u"fontSize"), 72);
    EXPECT_EQ(element->GetFloat(u"cx"), 11.0f);
    EXPECT_EQ(element->GetFloat(u"cy"), 22.0f);

    // A form script that cannot be read is an error too, logged through the channel.
    setenv("TAVREL_FORM", (folder_ / "no-such-form.txt").c_str(), 1);
    log.Clear();
    EXPECT_FALSE(ConfigureTextSource(element, false));
    EXPECT_EQ(Boxes().size(), 1u);
    ASSERT_EQ(log.Of(LogKind::Line).size(), 1u);
    EXPECT_EQ(log.Of(LogKind::Line)[0].ToUtf8().rfind("Tavrel: cannot read the form script ", 0), 0u);

    // The call itself fails: the assembly is not where the runtime looks.
    UseForm("result 0\n");
    ASSERT_EQ(StartRuntime((folder_ / "Tavrel.dll").string()), RuntimeStartOutcome::Started);
    log.Clear();
    EXPECT_FALSE(ConfigureTextSource(element, false));
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::AssemblyMissing);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(Boxes()[0] == kConfigurationErrorText);
    EXPECT_EQ(element->GetFloat(u"cx"), 11.0f);
    EXPECT_EQ(element->GetFloat(u"cy"), 22.0f);
}

TEST_F(ConfigureFlow, SceneBeginAndEndSendOnlyWhatTheChannelNeeds) {
    XElement* element = NewSourceElement("thanks");
    XElement* data = element->CreateElement(u"data");
    data->SetString(u"innerId", u"999999");  // left from an earlier run of the host
    SourcePtr source(CreateThanksSource(data));

    // Scene end before any channel: nothing.
    source->EndScene();
    EXPECT_TRUE(Journal().empty());

    // The stale innerId finds no entry: a new channel, its settings, start.
    source->BeginScene();
    const std::string n = Number(data);
    EXPECT_NE(n, "999999");
    EXPECT_EQ(n, std::to_string(WindowNumber(channelRegistry[0].window)));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"setPlatform:4", "init:" + n, "Set:" + n, "start:" + n}));
    EXPECT_GT(data->GetFloat(u"baseSizeCX"), 32.0f);  // measured

    // A live entry: only start; then stop.
    source->BeginScene();
    source->EndScene();
    EXPECT_EQ(Commands(4), (std::vector<std::string>{"start:" + n, "stop:" + n}));
    EXPECT_EQ(channelRegistry.Size(), 1u);
}

TEST_F(ConfigureFlow, WithoutTheRuntimeConfigureCreatesDataAndSendsNothing) {
    StopRuntime();
    const size_t before = Journal().size();  // "quit"
    XElement* element = NewSourceElement("thanks");
    UseForm("result 0\n");
    EXPECT_FALSE(ConfigureTextSource(element, true));
    XElement* data = element->GetElement(u"data");
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->HasItem(u"innerId"));
    EXPECT_FALSE(element->HasItem(u"cx"));
    EXPECT_EQ(channelRegistry.Size(), 0u);
    EXPECT_EQ(Journal().size(), before);
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace logic_test
