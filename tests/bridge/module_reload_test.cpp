// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in unloaded and loaded again while the process runs: each new
// copy of its code finds the runtime an earlier copy started (Mono cannot
// start twice in a process) and goes on using it.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(ModuleReload, TenLoadsOfTheHostModuleShareOneRuntime)
{
    const char* output = std::getenv("MORVIK_TEST_OUTPUT");
    const auto journal = std::filesystem::path(output ? output : "/tmp") / ("bridge-reload-" + std::to_string(getpid()) + ".txt");
    std::filesystem::remove(journal);
    setenv("TAVREL_JOURNAL", journal.c_str(), 1);

    std::vector<std::string> expected;
    for (int load = 0; load < 10; ++load) {
        void* module = dlopen(BRIDGE_RELOAD_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto runOneLoad = reinterpret_cast<int32_t (*)(const char*)>(dlsym(module, "RunOneLoad"));
        ASSERT_NE(runOneLoad, nullptr);
        EXPECT_EQ(runOneLoad("./plugins/MorvikThanks/Tavrel.dll"), 1) << "load " << load;
        ASSERT_EQ(dlclose(module), 0);
        // Really gone, so that the next load starts from fresh static state.
        EXPECT_EQ(dlopen(BRIDGE_RELOAD_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "load " << load;
        expected.insert(expected.end(), {"ShowForm:5", "quit"});
    }

    std::ifstream in(journal);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, expected);
    unsetenv("TAVREL_JOURNAL");
}

}  // namespace
