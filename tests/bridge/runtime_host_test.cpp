// SPDX-License-Identifier: GPL-2.0-or-later
// The runtime host against the real Mono runtime: commands reach the logic
// assembly in order and unchanged, failures of the assembly stay inside the
// call, and the runtime survives unloads and heavy use.
//
// Mono starts once per process: every test here starts it (or takes it up
// again), so they pass alike one process each or all in one process.
#include "bridge/runtime_host.h"
#include "host/host_control.h"
#include "platform/message_window.h"
#include "tests/test_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kTestAssemblies = BRIDGE_TEST_ASSEMBLIES;

std::vector<std::string> ReadLines(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Points the reference assembly's journal at a fresh file while alive.
class JournalFile {
public:
    explicit JournalFile(const std::string& name) : path_(FreshTestFolder(name) / "journal.txt")
    {
        setenv("TAVREL_JOURNAL", path_.c_str(), 1);
    }
    ~JournalFile() { unsetenv("TAVREL_JOURNAL"); }
    std::vector<std::string> Lines() const { return ReadLines(path_); }

private:
    fs::path path_;
};

class RuntimeHostTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogToStderr(false); }
    void TearDown() override
    {
        StopRuntime();
        SetLogToStderr(true);
    }
    void Start(const std::string& assembly)
    {
        ASSERT_EQ(StartRuntime(assembly), RuntimeStartOutcome::Started);
        ASSERT_TRUE(RuntimeHostPresent());
    }
    LogCapture log;
};

TEST_F(RuntimeHostTest, EveryCommandOfTheVocabularyArrivesInOrderWithItsExactText)
{
    JournalFile journal("bridge-vocabulary");
    Start(kLogicAssemblyPath);

    const std::u16string settings =
        u"Set:-2147483000{|}宋体{|}-28672{|}56{|}100{|}-16777216{|}0{|}0{|}0{|}0{|}0{|}0{|}0{|}100{|}-8355712{|}2{|}"
        u"{|}感谢$sender$赠送的$num$个$gift$ $combo${|}o(∩_∩)o 送礼物上电视啦o(∩_∩)o {|}10{|}10{|}1{|}0{|}0{|}{|}1{|}5"
        u"{|}1{|}1{|}3{|}10";
    struct Sent {
        std::u16string command;
        int32_t result;
    };
    const std::vector<Sent> commands = {
        {u"setPlatform:4", 0},
        {u"init:-2147483000", 0},
        {u"ASCII", 0},
        {settings, 0},
        {u"start:-2147483000", 0},
        {u"ShowForm:-2147483000", 1},  // no form script: cancelled
        {u"stop:-2147483000", 0},
        {u"Set:7{|}a value {|} holding the separator and 😀", 0},
        {u"line\nbreak\\and\rreturn", 0},  // unknown: answered 0
        {u"", 0},
    };
    for (const Sent& sent : commands) {
        EXPECT_EQ(SendLogicCommand(String(sent.command)), sent.result) << Utf16ToUtf8(sent.command);
        EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
    }
    StopRuntime();

    std::vector<std::string> expected;
    for (const Sent& sent : commands)
        expected.push_back(Utf16ToUtf8(sent.command));
    expected[8] = "line\\nbreak\\\\and\\rreturn";  // the journal's escapes keep one command a line
    expected.push_back("quit");
    EXPECT_EQ(journal.Lines(), expected);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(RuntimeHostTest, AnExceptionInTheAssemblyIsRecordedAndTheHostGoesOn)
{
    Start(kTestAssemblies + "/ThrowingLogic.dll");
    EXPECT_EQ(SendLogicCommand(u"ShowForm:12"), 0);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::ManagedException);
    EXPECT_EQ(SendLogicCommand(u"fine"), 7);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
    EXPECT_EQ(SendLogicCommand(u"start:12"), 0);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::ManagedException);
    EXPECT_TRUE(RuntimeHostPresent());
}

TEST_F(RuntimeHostTest, ResultsAndTextPassUnchanged)
{
    Start(kTestAssemblies + "/OddLogic.dll");
    for (int32_t value : {0, 1, -1, 2, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(SendLogicCommand(String(std::to_string(value).c_str())), value);
        EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
    }
    // UTF-16 units as sent: a surrogate pair is two, an embedded NUL one.
    EXPECT_EQ(SendLogicCommand(u"length:感谢😀"), 4);
    EXPECT_EQ(SendLogicCommand(String(std::u16string(u"length:a\0b", 10))), 3);
    EXPECT_EQ(SendLogicCommand(u"length:"), 0);
}

intptr_t SumProcedure(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return message == WM_USER + 7 ? 100 + static_cast<intptr_t>(wParam) + lParam : 0;
}

TEST_F(RuntimeHostTest, User32ImportsReachThePlatformLibrary)
{
    Start(kTestAssemblies + "/OddLogic.dll");
    const WindowHandle window = CreatePlatformWindow(SumProcedure);
    ASSERT_NE(window, 0);
    EXPECT_EQ(SendLogicCommand(String(u"send:") << static_cast<int>(window)), 107);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
    DestroyWindow(window);
    EXPECT_EQ(SendLogicCommand(String(u"send:") << static_cast<int>(window)), 0);  // no such window now
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
}

TEST_F(RuntimeHostTest, AMissingAssemblyFailsQuietlyUntilTheFileArrives)
{
    const fs::path folder = FreshTestFolder("bridge-late");
    const fs::path assembly = folder / "OddLogic.dll";
    Start(assembly.string());
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(SendLogicCommand(u"5"), 0);
        EXPECT_EQ(LastLogicCallResult(), LogicCallResult::AssemblyMissing);
    }
    fs::copy_file(kTestAssemblies + "/OddLogic.dll", assembly);
    EXPECT_EQ(SendLogicCommand(u"5"), 5);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(RuntimeHostTest, AFileThatIsNoFittingAssemblyIsRefused)
{
    const fs::path garbage = FreshTestFolder("bridge-garbage") / "Tavrel.dll";
    std::ofstream(garbage) << "MZ but not an assembly";
    Start(garbage.string());
    EXPECT_EQ(SendLogicCommand(u"start:1"), 0);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::AssemblyMissing);

    // Right names, wrong signature: calling it would unbox a string as an int.
    Start(kTestAssemblies + "/WrongShapeLogic.dll");
    EXPECT_EQ(SendLogicCommand(u"start:1"), 0);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::EntryPointMissing);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(RuntimeHostTest, UnloadAndLoadAgainTenTimesInOneProcess)
{
    JournalFile journal("bridge-cycles");
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 10; ++cycle) {
        Start(kLogicAssemblyPath);
        EXPECT_EQ(SendLogicCommand(String(u"start:") << cycle), 0);
        EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok);
        StopRuntime();
        EXPECT_FALSE(RuntimeHostPresent());
        // Stopped: nothing reaches the assembly, and a second stop sends nothing.
        EXPECT_EQ(SendLogicCommand(u"stop:1"), 0);
        EXPECT_EQ(LastLogicCallResult(), LogicCallResult::NoRuntime);
        StopRuntime();
        expected.push_back("start:" + std::to_string(cycle));
        expected.push_back("quit");
    }
    EXPECT_EQ(journal.Lines(), expected);
    EXPECT_TRUE(log.Lines().empty());
}

// Each call allocates managed objects, so collections run in the middle of
// calls; without a GC-unsafe region around them Mono aborts within seconds.
TEST_F(RuntimeHostTest, TwoHundredThousandCallsRunWithoutAnAbort)
{
    Start(kLogicAssemblyPath);
    const String command(u"start:123456");
    int failures = 0;
    for (int i = 0; i < 200000; ++i) {
        SendLogicCommand(command);
        failures += LastLogicCallResult() != LogicCallResult::Ok;
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(RuntimeHostTest, AThreadTheRuntimeDoesNotKnowIsAttachedBeforeItsCalls)
{
    Start(kTestAssemblies + "/OddLogic.dll");
    int failures = 0;
    std::thread other([&failures] {
        for (int i = 0; i < 20000; ++i)
            failures += SendLogicCommand(String(u"length:thread")) != 6 || LastLogicCallResult() != LogicCallResult::Ok;
    });
    other.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(SendLogicCommand(u"9"), 9);
}

}  // namespace
