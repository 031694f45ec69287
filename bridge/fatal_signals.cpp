// SPDX-License-Identifier: GPL-2.0-or-later
#include "bridge/fatal_signals.h"

#include <ucontext.h>
#include <unistd.h>

#include <atomic>
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
    struct sigaction router[NSIG] = {};  // as installed, to be put back
    HostSignalActions host;
    MonoDomain* (*currentDomain)() = nullptr;
    MonoJitInfo* (*findJitInfo)(MonoDomain*, void*) = nullptr;
    bool installed = false;
};

Routes routes;

// Per signal: the host's handler asked to be reset to the default action
// once run (SA_RESETHAND) and has run, so the host's action is now the
// default one. Set once, by whichever thread takes the handler's one run.
std::atomic<bool> hostHandlerSpent[NSIG];
static_assert(std::atomic<bool>::is_always_lock_free, "used in signal handlers");

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

// sa_handler and sa_sigaction share their storage, so this holds for both
// kinds. SA_SIGINFO alone says nothing: the kernel leaves it set when it
// resets a handler installed with SA_RESETHAND to SIG_DFL.
bool IsHandler(const struct sigaction& action)
{
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

// Runs the host's handler under the signal mask the kernel would have given
// it, had it been called directly: the interrupted code's mask, its own
// sa_mask, and the signal itself unless it asked for SA_NODEFER. The router
// runs under the runtime's flags and mask, which need not be the host's.
void CallHostHandler(const struct sigaction& host, int signal, siginfo_t* info, void* context)
{
    const sigset_t& interrupted = static_cast<ucontext_t*>(context)->uc_sigmask;
    sigset_t during;
    sigemptyset(&during);
    for (int other = 1; other < NSIG; ++other) {
        if (sigismember(&interrupted, other) == 1 || sigismember(&host.sa_mask, other) == 1)
            sigaddset(&during, other);
    }
    if (host.sa_flags & SA_NODEFER)
        sigdelset(&during, signal);
    else
        sigaddset(&during, signal);
    sigset_t routerMask;
    pthread_sigmask(SIG_SETMASK, &during, &routerMask);
    CallAction(host, signal, info, context);
    pthread_sigmask(SIG_SETMASK, &routerMask, nullptr);
}

// A host handler installed with SA_RESETHAND: the kernel would have reset
// the signal to its default action before running it, so a fault in it, or
// the signal raised again by it, ends the process instead of coming back to
// it. The router does the same, and once the handler has returned puts
// itself back in front of that default (the runtime's threads still need
// it for their exceptions), the host's part now being the default action.
// A handler the host's handler installed while it ran stays, as would any
// the host installs over the runtime's. In the time the handler runs, the
// signal on another thread gets the default action too.
void CallResettingHostHandler(const struct sigaction& host, int signal, siginfo_t* info, void* context)
{
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    CallHostHandler(host, signal, info, context);
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    if (now.sa_handler == SIG_DFL)
        sigaction(signal, &routes.router[signal], nullptr);
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
    const bool hostAction = routes.host.known && !hostHandlerSpent[signal].load();
    if (hostAction && IsHandler(host) && !(host.sa_flags & SA_RESETHAND)) {
        CallHostHandler(host, signal, info, context);
        errno = savedErrno;
        return;
    }
    // Its one run taken here, unless another thread took it meanwhile.
    if (hostAction && IsHandler(host) && !hostHandlerSpent[signal].exchange(true)) {
        CallResettingHostHandler(host, signal, info, context);
        errno = savedErrno;
        return;
    }
    if (hostAction && host.sa_handler == SIG_IGN && info->si_code <= 0) {
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
        struct sigaction& router = routes.router[signal];
        router = runtime;
        router.sa_sigaction = &RouteFatalSignal;
        sigaction(signal, &router, nullptr);
    }
    routes.installed = true;
}
