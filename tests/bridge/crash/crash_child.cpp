// A process that starts the runtime as the plug-in does, checks that managed
// code still gets its NullReferenceException, then crashes the way its
// second argument names. The fatal-signal test runs it and looks at how it
// ended.
//   bridge_crash_child <assembly> <how>
#include "bridge/runtime_host.h"
#include "host/host_control.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void DereferenceNull()
{
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

// Reads a mapped page of a file that has since been emptied.
void ReadBeyondMappedFile()
{
    char path[] = "/tmp/morvik-sigbus-XXXXXX";
    const int file = mkstemp(path);
    if (file < 0 || ftruncate(file, 4096) != 0)
        std::exit(4);
    auto* page = static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, file, 0));
    unlink(path);
    if (page == MAP_FAILED || ftruncate(file, 0) != 0)
        std::exit(4);
    const char value = page[0];
    (void)value;
}

void DivideByZero()
{
    volatile int dividend = 1;
    volatile int zero = 0;
    volatile int quotient = dividend / zero;
    (void)quotient;
}

void ExecuteInvalidInstruction() { __builtin_trap(); }

// Crashes on a thread the runtime has never seen, as OBS's threads are.
void OnForeignThread(void (*crash)())
{
    std::thread(crash).join();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    SetLogToStderr(false);
    if (StartRuntime(argv[1]) != RuntimeStartOutcome::Started)
        return 3;
    if (SendLogicCommand(u"null-caught") != 1 || LastLogicCallResult() != LogicCallResult::Ok)
        return 5;
    if (SendLogicCommand(u"null-uncaught") != 0 || LastLogicCallResult() != LogicCallResult::ManagedException)
        return 6;

    const std::string how = argv[2];
    if (how == "segv")
        OnForeignThread(DereferenceNull);
    else if (how == "bus")
        OnForeignThread(ReadBeyondMappedFile);
    else if (how == "fpe")
        OnForeignThread(DivideByZero);
    else if (how == "ill")
        OnForeignThread(ExecuteInvalidInstruction);
    else if (how == "abrt")
        OnForeignThread(std::abort);
    else if (how == "kill")  // sent to the process, from this runtime thread
        kill(getpid(), SIGSEGV);
    else if (how == "quit")
        kill(getpid(), SIGQUIT);
    else if (how == "managed-native-crash")
        SendLogicCommand(u"native-crash");
    else if (how == "managed-native-abort")
        SendLogicCommand(u"native-abort");
    else if (how == "none")
        return 0;
    // A crash the runtime reports may take its time over the report on a
    // loaded machine; a minute on, the process would long have ended.
    sleep(60);
    return 7;  // still alive: the crash was swallowed
}
