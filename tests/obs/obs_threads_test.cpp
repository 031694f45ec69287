// SPDX-License-Identifier: GPL-2.0-or-later
// No thread of OBS's is ever registered with the runtime: the module calls
// the logic assembly only from its core thread, so the runtime's collector,
// which stops every registered thread, never stops OBS's UI, graphics,
// destruction or hotkey threads, or obs-websocket's workers, while they hold
// OBS's locks. Each is asked after calls through it have reached the logic
// assembly; a thread stays registered once it has been.
#include "tests/obs/obs_test_support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <string>
#include <thread>

namespace obs_test {
namespace {

struct MonoDomain;

// The runtime's view of the calling thread, asked of the runtime the module
// loaded. mono_domain_get only reads the thread's own slot: it never
// registers the thread it is called on, as mono_thread_current would.
class RuntimeProbe {
public:
    RuntimeProbe() : library_(dlopen("libmonosgen-2.0.so.1", RTLD_LAZY | RTLD_NOLOAD)) {
        if (library_) {
            domainGet_ = reinterpret_cast<MonoDomain* (*)()>(dlsym(library_, "mono_domain_get"));
            rootDomain_ = reinterpret_cast<MonoDomain* (*)()>(dlsym(library_, "mono_get_root_domain"));
            attach_ = reinterpret_cast<void* (*)(MonoDomain*)>(dlsym(library_, "mono_thread_attach"));
            detach_ = reinterpret_cast<void (*)(void*)>(dlsym(library_, "mono_thread_detach"));
        }
    }
    ~RuntimeProbe() {
        if (library_) dlclose(library_);
    }
    bool Loaded() const { return domainGet_ && rootDomain_ && attach_ && detach_; }
    bool ThisThreadRegistered() const { return domainGet_() != nullptr; }
    // For checking the probe itself, on a thread of the test's own.
    void* Register() const { return attach_(rootDomain_()); }
    void Unregister(void* thread) const { detach_(thread); }

private:
    void* library_;
    MonoDomain* (*domainGet_)() = nullptr;
    MonoDomain* (*rootDomain_)() = nullptr;
    void* (*attach_)(MonoDomain*) = nullptr;
    void (*detach_)(void*) = nullptr;
};

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Whether the OBS thread that runs tasks of `type` is registered, asked on it.
bool TaskThreadRegistered(const RuntimeProbe& probe, obs_task_type type) {
    struct Question {
        const RuntimeProbe* probe;
        std::atomic<int> answer{-1};
    } question{&probe};
    obs_queue_task(
        type,
        [](void* data) {
            auto* asked = static_cast<Question*>(data);
            asked->answer = asked->probe->ThisThreadRegistered() ? 1 : 0;
        },
        &question, type != OBS_TASK_UI);
    EXPECT_TRUE(WaitFor([&] { return question.answer != -1; })) << "task type " << type;
    return question.answer == 1;
}

TEST(ObsThreads, NoThreadOfObsIsEverRegisteredWithTheRuntime) {
    const RuntimeProbe probe;
    ASSERT_TRUE(probe.Loaded()) << "the module's runtime is not in the process";
    // The probe tells a registered thread from one that is not.
    std::thread([&] {
        EXPECT_FALSE(probe.ThisThreadRegistered());
        void* registered = probe.Register();
        EXPECT_TRUE(probe.ThisThreadRegistered());
        probe.Unregister(registered);
    }).join();

    TestSource source("threads", R"({"font": "WenQuanYi Micro Hei", "fontSize": 20, "is_no_thanks": 1,
                                     "no_thanks_string": "Idle"})");
    FrameGrabber grabber;
    source.Show();
    // From the UI thread: a control that reaches the logic assembly.
    ASSERT_TRUE(WaitFor([] { return Holds(CallControlProcedure("threads", "state"), R"("paused":false)"); }));
    // From threads standing in for obs-websocket's workers and OBS's hotkey
    // thread: the procedure's test gift and the skip hotkey.
    std::string answer;
    bool workerRegistered = true, hotkeyRegistered = true;
    std::thread([&] {
        answer = CallControlProcedure("threads", "test");
        workerRegistered = probe.ThisThreadRegistered();
    }).join();
    EXPECT_FALSE(answer.empty() || Holds(answer, "error")) << answer;
    std::thread([&] {
        TriggerHotkey(source.get(), "morvik_thanks.skip");
        hotkeyRegistered = probe.ThisThreadRegistered();
    }).join();
    EXPECT_TRUE(Holds(CallControlProcedure("threads", "state"), R"("paused":false)"));
    // The graphics thread has drawn the thanks meanwhile.
    const uint64_t framesBefore = grabber.Count();
    ASSERT_TRUE(WaitFor([&] { return grabber.Count() > framesBefore + 10; }));
    source.Hide();

    EXPECT_FALSE(workerRegistered);
    EXPECT_FALSE(hotkeyRegistered);
    EXPECT_FALSE(probe.ThisThreadRegistered()) << "the UI thread";
    EXPECT_FALSE(TaskThreadRegistered(probe, OBS_TASK_UI)) << "the UI thread";
    EXPECT_FALSE(TaskThreadRegistered(probe, OBS_TASK_GRAPHICS)) << "the graphics thread";
    EXPECT_FALSE(TaskThreadRegistered(probe, OBS_TASK_DESTROY)) << "the destruction thread";
}

}  // namespace
}  // namespace obs_test
