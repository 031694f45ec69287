#include "obs/module_runtime.h"

#include "bridge/runtime_host.h"
#include "channel/message_window.h"
#include "shell/startup_messages.h"

#include <unistd.h>

bool StartModuleRuntime(const std::string& assemblyPath) {
    if (access(assemblyPath.c_str(), F_OK) != 0) OBSMessageBox(nullptr, MissingAssemblyMessage().Array(), nullptr, 0);
    return StartRuntime(assemblyPath) == RuntimeStartOutcome::Started;
}

void StopModuleRuntime() {
    StopRuntime();
    // The windows' procedure is this module's code: none may outlive it.
    DestroyWindowsOfModule(reinterpret_cast<const void*>(&MessageWindowProc));
}
