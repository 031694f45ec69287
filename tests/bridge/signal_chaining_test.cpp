// SPDX-License-Identifier: GPL-2.0-or-later
// Mono installs signal handlers of its own in the host process. The host's
// handlers installed before the runtime started must still run: the runtime
// chains to them. A process of its own, so that the handler is in place
// before Mono starts.
#include "bridge/runtime_host.h"
#include "host/host_control.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

volatile sig_atomic_t hostHandlerRuns = 0;

void HostHandler(int) { hostHandlerRuns = hostHandlerRuns + 1; }

TEST(SignalChaining, TheHostsHandlerStillRunsForASignalTheRuntimeTakesOver) {
    struct sigaction action {};
    action.sa_handler = HostHandler;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGQUIT, &action, nullptr), 0);

    SetLogToStderr(false);
    ASSERT_EQ(StartRuntime(kLogicAssemblyPath), RuntimeStartOutcome::Started);
    struct sigaction installed {};
    sigaction(SIGQUIT, nullptr, &installed);
    ASSERT_NE(installed.sa_handler, &HostHandler) << "the runtime no longer takes SIGQUIT over: the test shows nothing";

    raise(SIGQUIT);  // the runtime does not keep it: it goes back to the host
    EXPECT_EQ(hostHandlerRuns, 1);
    StopRuntime();
}

}  // namespace
