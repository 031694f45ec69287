// SPDX-License-Identifier: GPL-2.0-or-later
// A loadable module holding the runtime host, standing in for the plug-in:
// the reload test loads and unloads it repeatedly in one process.
#include "bridge/runtime_host.h"

// One load's worth of use: start (or take up) the runtime, show the form
// of window 5, stop. The form's result, or -1 when the runtime did not start.
extern "C" __attribute__((visibility("default"))) int32_t RunOneLoad(const char* assemblyPath)
{
    if (StartRuntime(assemblyPath) != RuntimeStartOutcome::Started)
        return -1;
    const int32_t result = SendLogicCommand(u"ShowForm:5");
    const bool reached = LastLogicCallResult() == LogicCallResult::Ok;
    StopRuntime();
    return reached ? result : -2;
}
