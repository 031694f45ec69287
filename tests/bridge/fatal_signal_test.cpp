// SPDX-License-Identifier: GPL-2.0-or-later
// Fatal signals in a process where the runtime runs: a crash outside the
// runtime ends the process exactly as it would without it (that signal, no
// report, no crash file), while managed code keeps its exceptions and a
// crash the runtime owns keeps its report yet still ends by its signal.
// Each case is a child process (bridge_crash_child) in a folder of its own.
#include "tests/test_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct ChildEnd {
    int status = 0;
    bool hung = false;
    std::string output;                 // stdout and stderr, interleaved
    std::vector<std::string> leftFiles; // what it left in its working folder
};

// Runs the child in `folder` with stdout and stderr into one file, without
// core dumps (the system's core handling is not under test), and waits at
// most 120 s for it (past the child's own minute of waiting for its crash):
// a fault retried forever is a hang, not a pass.
ChildEnd RunChild(const std::string& assembly, const std::string& how)
{
    const fs::path folder = FreshTestFolder("fatal-signal-" + how);
    const fs::path outputFile = folder.parent_path() / (folder.filename().string() + ".out");
    const pid_t child = fork();
    if (child == 0) {
        struct rlimit noCore {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output < 0 || chdir(folder.c_str()) != 0)
            _exit(90);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execl(BRIDGE_CRASH_CHILD, BRIDGE_CRASH_CHILD, assembly.c_str(), how.c_str(), nullptr);
        _exit(91);
    }
    ChildEnd end;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(child, &end.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &end.status, 0);
            end.hung = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(outputFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    end.output = text.str();
    for (const auto& entry : fs::directory_iterator(folder))
        end.leftFiles.push_back(entry.path().filename().string());
    return end;
}

std::string Describe(const ChildEnd& end)
{
    std::ostringstream text;
    if (end.hung)
        text << "hung; ";
    if (WIFEXITED(end.status))
        text << "exited with status " << WEXITSTATUS(end.status);
    else if (WIFSIGNALED(end.status))
        text << "killed by signal " << WTERMSIG(end.status);
    text << "\n--- output ---\n" << end.output;
    return text.str();
}

const std::string kFaultingLogic = std::string(BRIDGE_TEST_ASSEMBLIES) + "/FaultingLogic.dll";

TEST(FatalSignals, ACrashOutsideTheRuntimeEndsTheProcessAsWithoutIt)
{
    const struct {
        const char* how;
        int signal;
    } cases[] = {
        {"segv", SIGSEGV}, {"bus", SIGBUS},   {"fpe", SIGFPE},   {"ill", SIGILL},
        {"abrt", SIGABRT}, {"kill", SIGSEGV}, {"quit", SIGQUIT},
    };
    for (const auto& crash : cases) {
        SCOPED_TRACE(crash.how);
        const ChildEnd end = RunChild(kFaultingLogic, crash.how);
        ASSERT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == crash.signal) << Describe(end);
        EXPECT_FALSE(end.hung);
        // Nothing at all is printed: no report of the runtime's, no line of ours.
        EXPECT_EQ(end.output, "");
        EXPECT_TRUE(end.leftFiles.empty()) << end.leftFiles.front();
    }
}

// The runtime reports a SIGSEGV of its threads off the signal stack and ends
// that report with abort() whatever it is told (exceptions-amd64.c,
// altstack_handle_and_restore), so that crash ends by SIGABRT: still a
// signal, never a clean exit.
TEST(FatalSignals, ACrashInNativeCodeCalledFromManagedCodeIsReportedAndEndsByASignal)
{
    const struct {
        const char* how;
        int signal;
        const char* firstLine;
    } cases[] = {
        {"managed-native-crash", SIGABRT, "MorvikThanks: SIGSEGV on a thread of the plug-in's .NET runtime"},
        {"managed-native-abort", SIGABRT, "MorvikThanks: SIGABRT on a thread of the plug-in's .NET runtime"},
    };
    for (const auto& crash : cases) {
        SCOPED_TRACE(crash.how);
        const ChildEnd end = RunChild(kFaultingLogic, crash.how);
        ASSERT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == crash.signal) << Describe(end);
        EXPECT_FALSE(end.hung);
        EXPECT_EQ(end.output.rfind(crash.firstLine, 0), 0u) << end.output;
        EXPECT_NE(end.output.find("Native Crash Reporting"), std::string::npos) << end.output;
        EXPECT_NE(end.output.find("Managed Stacktrace"), std::string::npos) << end.output;
        // No debugger run and no crash files. Mono 6.12 prints its telemetry
        // dump's thread summary in the report whatever it is told; 6.8 does
        // not. Neither may leave its file behind.
        EXPECT_EQ(end.output.find("gdb"), std::string::npos) << end.output;
        EXPECT_TRUE(end.leftFiles.empty()) << end.leftFiles.front();
    }
}

// A host handler that asks to be reset once run (SA_RESETHAND) runs once, as
// the kernel would have run it: the signal already back to its default
// action, blocked with the handler's sa_mask, or unblocked when it asked for
// SA_NODEFER. Its fault retried or its signal raised again then ends the
// process by that signal instead of coming back to it, and managed code
// keeps its exceptions after it returned. One the kernel had already reset
// before the runtime came is not called again.
TEST(FatalSignals, AHostHandlerThatAsksToBeResetRunsOnceAndTheSignalThenEndsTheProcess)
{
    const std::string blocked = "host handler: signal blocked, SIGUSR1 blocked, signal reset\n";
    const struct {
        const char* how;
        int signal;
        std::string output;
    } cases[] = {
        {"host-reset-refault", SIGSEGV, blocked},
        {"host-reset-raise", SIGSEGV, blocked},
        {"host-reset-nodefer-raise", SIGSEGV, "host handler: signal unblocked, SIGUSR1 blocked, signal reset\n"},
        {"host-reset-then-managed", SIGSEGV, blocked + "managed code still gets its exceptions\n"},
        {"host-reset-before-start", SIGABRT, blocked},
    };
    for (const auto& crash : cases) {
        SCOPED_TRACE(crash.how);
        const ChildEnd end = RunChild(kFaultingLogic, crash.how);
        EXPECT_FALSE(end.hung);
        EXPECT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == crash.signal) << Describe(end);
        EXPECT_EQ(end.output, crash.output);
    }
}

TEST(FatalSignals, WithoutACrashTheChildEndsNormally)
{
    const ChildEnd end = RunChild(kFaultingLogic, "none");
    EXPECT_TRUE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0) << Describe(end);
}

}  // namespace
