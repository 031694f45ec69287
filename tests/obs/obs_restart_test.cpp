// SPDX-License-Identifier: GPL-2.0-or-later
// libobs started and stopped with the module many times in a row, each time
// in a process of its own so that a crash on the way out is seen as that
// process's status: thanks sources on air with their texts changing from
// threads of their own (as the logic assembly sends them), beside OBS's own
// FreeType 2 text sources when Debian's obs-plugins is there; then
// the sources released right before libobs shuts down, as the frontend
// releases its scenes, and on every other round some left for libobs's
// shut-down itself to destroy after the module's unload. Every round must
// end by returning from main with status 0.
#include "tests/obs/obs_test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace obs_test {
namespace {

constexpr const char* kRoundFlag = "--round";
constexpr const char* kRoundEnv = "MORVIK_RESTART_ROUND";
constexpr const char* kPeerModule = "/usr/lib/x86_64-linux-gnu/obs-plugins/text-freetype2.so";
constexpr const char* kPeerData = "/usr/share/obs/obs-plugins/text-freetype2";
constexpr int kRounds = 20;
constexpr int kThanksSources = 4;
constexpr int kPeerSources = 4;
constexpr int kTextsPerSource = 12;

// One round, run in the child process (main, with kRoundFlag).
TEST(ObsRestartRound, SourcesChangingTheirTextsThenLibobsStops) {
    const int round = std::atoi(std::getenv(kRoundEnv) ? std::getenv(kRoundEnv) : "0");
    const bool withPeer = access(kPeerModule, R_OK) == 0;
    if (withPeer) {
        ASSERT_EQ(LoadObsModule(kPeerModule, kPeerData), "");
    }

    obs_scene_t* scene = obs_scene_create_private("restart round");
    std::vector<std::unique_ptr<TestSource>> thanks;
    for (int i = 0; i < kThanksSources; ++i) {
        thanks.push_back(std::make_unique<TestSource>(("thanks " + std::to_string(i)).c_str(),
                                                      R"({"fontSize": 24, "is_no_thanks": 1})"));
        obs_scene_add(scene, thanks.back()->get());
        thanks.back()->ShowIn(scene);
    }
    std::vector<obs_source_t*> peers;
    for (int i = 0; withPeer && i < kPeerSources; ++i) {
        obs_data_t* settings = obs_data_create_from_json(R"({"text": "peer", "outline": true})");
        const std::string name = "peer text " + std::to_string(i);
        peers.push_back(obs_source_create("text_ft2_source_v2", name.c_str(), settings, nullptr));
        obs_data_release(settings);
        ASSERT_NE(peers.back(), nullptr);
        obs_scene_add(scene, peers.back());
    }
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& source : thanks)
            if (source->InnerId().empty()) return false;
        return true;
    }));

    // Each source gets a new text every frame or so from a thread of its
    // own; OBS's text sources get one through their settings as its
    // Properties window gives it, from this (the UI) thread.
    std::atomic<int> taken{0};
    std::vector<std::thread> senders;
    for (const auto& source : thanks)
        senders.emplace_back([window = std::stoll(source->InnerId()), &taken] {
            for (int n = 0; n < kTextsPerSource; ++n) {
                const char16_t digit = static_cast<char16_t>(u'0' + n % 10);
                taken += SendThanksText(window, u"感谢Alice赠送的" + std::u16string(1, digit) + u"个火箭");
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
        });
    for (int n = 0; n < kTextsPerSource; ++n) {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "text", ("peer " + std::to_string(n)).c_str());
        for (obs_source_t* peer : peers) obs_source_update(peer, settings);
        obs_data_release(settings);
        RunUiTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    for (std::thread& sender : senders) sender.join();
    EXPECT_EQ(taken, kThanksSources * kTextsPerSource);

    // Released as the frontend releases its scenes before libobs shuts
    // down; on odd rounds one thanks source stays referenced and on air,
    // for libobs's shut-down to destroy after the module has unloaded.
    if (round % 2 == 1) {
        obs_set_output_source(0, thanks.front()->get());
        (void)thanks.front().release();
    } else {
        obs_set_output_source(0, nullptr);
    }
    // The thanks sources go first: OBS's text sources' destruction then
    // waits behind theirs on libobs's destruction thread, where a shut-down
    // that does not wait for that thread overtakes it.
    obs_scene_release(scene);
    thanks.clear();
    for (obs_source_t* peer : peers) obs_source_release(peer);
}

// Runs one round in a child process; its wait status.
int RunRound(const char* self, int round) {
    const pid_t child = fork();
    if (child == 0) {
        setenv(kRoundEnv, std::to_string(round).c_str(), 1);
        char* argv[] = {const_cast<char*>(self), const_cast<char*>(kRoundFlag), nullptr};
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return status;
}

std::string Describe(int status) {
    if (status == -1) return "could not be started";
    if (WIFSIGNALED(status)) return std::string("ended by signal ") + strsignal(WTERMSIG(status));
    return "exited with status " + std::to_string(WEXITSTATUS(status));
}

const char* programPath = nullptr;

TEST(ObsRestart, EveryRoundOfStartChangeAndStopEndsCleanly) {
    for (int round = 0; round < kRounds; ++round) {
        const int status = RunRound(programPath, round);
        EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "round " << round << " " << Describe(status);
    }
}

}  // namespace
}  // namespace obs_test

// Without arguments: the rounds, each a child running this program with
// --round (which runs the round's test alone, with libobs started before it
// and stopped after it, and returns from main).
int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], obs_test::kRoundFlag) == 0) {
        int roundArgc = 1;
        ::testing::GTEST_FLAG(filter) = "ObsRestartRound.*";
        return obs_test::RunObsTests(roundArgc, argv, 320, 180, "obs_restart_journal.txt");
    }
    obs_test::programPath = argv[0];
    ::testing::GTEST_FLAG(filter) = "ObsRestart.*";
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
