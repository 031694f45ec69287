// SPDX-License-Identifier: GPL-2.0-or-later
// A process that starts the runtime as the plug-in does, checks that managed
// code still gets its NullReferenceException, then crashes the way its
// second argument names. The fatal-signal test runs it and looks at how it
// ended. The "host-reset-" ways first install a SIGSEGV handler of the
// host's that asks to be reset once run (SA_RESETHAND), as a crash reporter
// does, and say on stdout how it found the signal's state when it ran.
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
#include <string>
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

void RaiseSegv() { raise(SIGSEGV); }

void WriteOut(const char* text)
{
    const ssize_t ignored = write(STDOUT_FILENO, text, strlen(text));
    (void)ignored;
}

volatile sig_atomic_t hostHandlerRuns = 0;
bool hostHandlerRaises = false;

// Reports whether the signal and the SIGUSR1 of its sa_mask are blocked
// while it runs, and whether the signal was reset to the default action;
// then raises the signal again or returns to the fault, which is retried.
// Run over and over, it ends the process itself rather than loop forever.
void ResettingHostHandler(int signal)
{
    hostHandlerRuns = hostHandlerRuns + 1;
    if (hostHandlerRuns > 3) {
        WriteOut("host handler: run again and again\n");
        _exit(8);
    }
    sigset_t blocked;
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    WriteOut(sigismember(&blocked, signal) ? "host handler: signal blocked" : "host handler: signal unblocked");
    WriteOut(sigismember(&blocked, SIGUSR1) ? ", SIGUSR1 blocked" : ", SIGUSR1 unblocked");
    WriteOut(now.sa_handler == SIG_DFL ? ", signal reset\n" : ", signal not reset\n");
    if (hostHandlerRaises)
        raise(signal);
}

void ResettingHostAction(int signal, siginfo_t*, void*) { ResettingHostHandler(signal); }

void InstallResettingHostHandler(int signal, int extraFlags, bool raises)
{
    hostHandlerRaises = raises;
    struct sigaction action {};
    if (extraFlags & SA_SIGINFO)
        action.sa_sigaction = ResettingHostAction;
    else
        action.sa_handler = ResettingHostHandler;
    action.sa_flags = SA_RESETHAND | extraFlags;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGUSR1);
    sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string how = argv[2];
    if (how == "host-reset-refault" || how == "host-reset-then-managed")
        InstallResettingHostHandler(SIGSEGV, 0, false);
    else if (how == "host-reset-raise")
        InstallResettingHostHandler(SIGSEGV, 0, true);
    else if (how == "host-reset-nodefer-raise")
        InstallResettingHostHandler(SIGSEGV, SA_NODEFER, true);
    else if (how == "host-reset-before-start") {
        // Run and reset by the kernel before the runtime comes: what the
        // runtime finds is SIG_DFL, with SA_SIGINFO still set.
        InstallResettingHostHandler(SIGABRT, SA_SIGINFO, false);
        raise(SIGABRT);
    }

    SetLogToStderr(false);
    if (StartRuntime(argv[1]) != RuntimeStartOutcome::Started)
        return 3;
    if (SendLogicCommand(u"null-caught") != 1 || LastLogicCallResult() != LogicCallResult::Ok)
        return 5;
    if (SendLogicCommand(u"null-uncaught") != 0 || LastLogicCallResult() != LogicCallResult::ManagedException)
        return 6;

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
    else if (how == "host-reset-refault")
        OnForeignThread(DereferenceNull);
    else if (how == "host-reset-before-start")
        OnForeignThread(std::abort);
    else if (how == "host-reset-raise" || how == "host-reset-nodefer-raise")
        OnForeignThread(RaiseSegv);
    else if (how == "host-reset-then-managed") {
        // The host's handler runs and returns; managed code keeps its
        // exceptions; the next SIGSEGV gets the default action.
        OnForeignThread(RaiseSegv);
        if (SendLogicCommand(u"null-caught") != 1 || LastLogicCallResult() != LogicCallResult::Ok)
            return 5;
        WriteOut("managed code still gets its exceptions\n");
        OnForeignThread(RaiseSegv);
    } else if (how == "managed-native-crash")
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
