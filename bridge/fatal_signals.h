// SPDX-License-Identifier: GPL-2.0-or-later
// Keeps the host's crashes the host's. The runtime installs handlers for the
// fatal signals process-wide when it starts; these route each signal either
// to the runtime (a fault on a thread it runs: managed code needs SIGSEGV
// and SIGFPE for its NullReferenceException and arithmetic exceptions, and
// its own crashes keep its report) or to what the process had before the
// runtime came (the host's handler, run as the kernel would have run it:
// its mask, SA_NODEFER and SA_RESETHAND honoured; else the system's default
// action, so the process ends by that same signal).
#pragma once

#include "bridge/mono_api.h"

#include <csignal>

// The handlers in place for the fatal signals, taken before the runtime
// starts so that signals outside the runtime go back to them.
struct HostSignalActions {
    struct sigaction actions[NSIG] = {};
    bool known = false;  // false after the plug-in was reloaded into a started runtime
};

HostSignalActions CaptureHostSignalActions();

// Tells the runtime, before it starts, to report its own crashes without
// running a debugger or writing crash files, and to hand the signal back
// after its report instead of calling abort().
void PrepareRuntimeCrashReporting(const MonoApi& api);

// Puts the router in front of the runtime's handlers (those installed now).
// Undone when this code is unloaded, so no handler ever points into a
// library that is gone.
void RouteFatalSignals(const MonoApi& api, const HostSignalActions& host);
