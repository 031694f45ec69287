#include "bridge/fatal_signals.h"

#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// What the runtime takes over when it starts (mini-posix.c,
// mono_runtime_posix_install_handlers). SIGQUIT is there for the runtime's
// thread dump; without the router a SIGQUIT meant to end the host would
// only print that dump.
constexpr int kRoutedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT};

constexpr uintptr_t kFirstPageEnd = 4096;

// Read by the handler; written before the handler is installed (sigaction
// orders the two) and never again while it is.
struct Routes {
    struct sigaction runtime[NSIG] = {};
    HostSignalActions host;
    MonoDomain* (*currentDomain)() = nullptr;
    MonoJitInfo* (*findJitInfo)(MonoDomain*, void*) = nullptr;
    bool installed = false;
};

Routes routes;

// The handler runs in signal context: only async-signal-safe calls below.

void WriteText(const char* text)
{
    const ssize_t ignored = write(STDERR_FILENO, text, strlen(text));
    (void)ignored;
}

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "a fatal signal";
    }
}

// A fault of the thread it arrives on: raised by the processor, or by the
// thread itself (abort(), raise()) or another thread of this process. A
// signal sent from outside (kill) is a request to the process, not a fault
// of whichever thread the kernel happened to pick for it; SIGQUIT is always
// such a request.
bool IsFaultOfThisThread(int signal, const siginfo_t* info)
{
    if (signal == SIGQUIT)
        return false;
    return info->si_code > 0 || (info->si_code == SI_TKILL && info->si_pid == getpid());
}

// The runtime's own rule (mini-runtime.c, mono_sigsegv_signal_handler:
// an instruction of compiled code, or a fault address below the first page,
// "is_addr_implicit_null_check"), asked only to know whether to announce a
// crash report before the runtime's handler prints it.
bool RuntimeTurnsIntoException(MonoDomain* domain, int signal, const siginfo_t* info, greg_t instruction)
{
    if (routes.findJitInfo(domain, reinterpret_cast<void*>(instruction)))
        return true;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    return (signal == SIGSEGV || signal == SIGBUS) && info->si_code > 0 && address < kFirstPageEnd;
}

void CallAction(const struct sigaction& action, int signal, siginfo_t* info, void* context)
{
    if (action.sa_flags & SA_SIGINFO)
        action.sa_sigaction(signal, info, context);
    else
        action.sa_handler(signal);
}

bool IsHandler(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) || (action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN);
}

// Ends the process by `signal` with the system's default action (its core
// dump included), as if nothing had ever handled it.
void EndByDefaultAction(int signal, bool retryFault)
{
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    // A processor fault happens again when the instruction is retried on
    // return, now with nothing in the way, so the dump shows the fault as
    // it was. Anything else is raised again on this thread, where it is
    // blocked until unblocked here.
    if (retryFault)
        return;
    raise(signal);
    sigset_t pending;
    sigemptyset(&pending);
    sigaddset(&pending, signal);
    pthread_sigmask(SIG_UNBLOCK, &pending, nullptr);
}

void RouteFatalSignal(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    MonoDomain* domain = routes.currentDomain();
    if (domain && IsFaultOfThisThread(signal, info)) {
        // A thread the runtime runs: the fault is the runtime's to handle.
        // It turns faults in its compiled code, and null dereferences
        // anywhere on its threads, into exceptions by pointing the thread
        // at its exception handling and returning; anything else is a crash
        // of the runtime or of native code it called, which it reports and
        // (with crash chaining) returns from unchanged.
        auto* machine = static_cast<ucontext_t*>(context);
        const greg_t faultingInstruction = machine->uc_mcontext.gregs[REG_RIP];
        if (!RuntimeTurnsIntoException(domain, signal, info, faultingInstruction)) {
            WriteText("MorvikThanks: ");
            WriteText(SignalName(signal));
            WriteText(" on a thread of the plug-in's .NET runtime; the runtime's report follows.\n");
        }
        CallAction(routes.runtime[signal], signal, info, context);
        if (machine->uc_mcontext.gregs[REG_RIP] == faultingInstruction) {
            // Raised, not retried: the runtime may have changed what the
            // retry would meet (it unprotects a stack guard page, for one).
            EndByDefaultAction(signal, false);
        }
        errno = savedErrno;
        return;
    }
    const struct sigaction& host = routes.host.actions[signal];
    if (routes.host.known && IsHandler(host)) {
        CallAction(host, signal, info, context);
        errno = savedErrno;
        return;
    }
    if (routes.host.known && host.sa_handler == SIG_IGN && info->si_code <= 0) {
        errno = savedErrno;
        return;
    }
    EndByDefaultAction(signal, info->si_code > 0);
    errno = savedErrno;
}

// Gives the signals back to the runtime's own handlers when this code is
// unloaded (the plug-in unloaded while the runtime stays in the process).
struct RoutingRemoval {
    ~RoutingRemoval()
    {
        if (!routes.installed)
            return;
        for (int signal : kRoutedSignals) {
            struct sigaction current {};
            sigaction(signal, nullptr, &current);
            if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == &RouteFatalSignal)
                sigaction(signal, &routes.runtime[signal], nullptr);
        }
    }
};

RoutingRemoval routingRemoval;

}  // namespace

HostSignalActions CaptureHostSignalActions()
{
    HostSignalActions host;
    for (int signal : kRoutedSignals)
        sigaction(signal, nullptr, &host.actions[signal]);
    host.known = true;
    return host;
}

void PrepareRuntimeCrashReporting(const MonoApi& api)
{
    // "no-gdb-backtrace" skips, in mini-posix.c's dump_native_stacktrace,
    // both the attempt to attach gdb and the telemetry dump that writes
    // mono_crash.*.json and mono_crash.mem.*.blob into the working folder;
    // the report itself (native and managed stacks) is still printed.
    api.mini_parse_debug_option("no-gdb-backtrace");
    // From 6.12 the telemetry dump runs whatever that option says: it adds
    // its thread summary to the printed report and writes
    // mono_crash.<hash>.<n>.json into the host's working folder. The runtime
    // reads this variable when it is about to write the file, and writes
    // none when it is set. Set before the runtime starts, on the thread
    // that starts it; a value the user gave is kept.
    setenv("MONO_CRASH_NOFILE", "1", 0);
    // With crash chaining the runtime's handlers return after their report
    // (mono_post_native_crash_handler skips abort()), so the router ends the
    // process by the signal that crashed it rather than by SIGABRT. Left to
    // itself that return would retry the fault forever (mono/mono#19860):
    // the router never lets it return to the fault with the runtime's
    // handler still in place. A SIGSEGV of a runtime thread is the
    // exception: the runtime moves it off the signal stack and reports it
    // there (altstack_handle_and_restore), then calls abort() regardless.
    api.mono_set_crash_chaining(1);
}

void RouteFatalSignals(const MonoApi& api, const HostSignalActions& host)
{
    if (routes.installed)
        return;
    routes.host = host;
    routes.currentDomain = api.mono_domain_get;
    routes.findJitInfo = api.mono_jit_info_table_find;
    for (int signal : kRoutedSignals) {
        struct sigaction runtime {};
        sigaction(signal, nullptr, &runtime);
        if (!(runtime.sa_flags & SA_SIGINFO) || runtime.sa_sigaction == &RouteFatalSignal)
            continue;  // not the runtime's: nothing to route for this signal
        routes.runtime[signal] = runtime;
        // Same flags and mask as the runtime's handler (its SIGSEGV runs on
        // the alternate stack it sets up for its threads, to catch stack
        // overflows), so the runtime's handler finds what it expects.
        struct sigaction router = runtime;
        router.sa_sigaction = &RouteFatalSignal;
        sigaction(signal, &router, nullptr);
    }
    routes.installed = true;
}
