// The module's start-up and shut-down on the core's side, as the classic
// shell's LoadPlugin and UnloadPlugin do them; both run on the core thread.
#pragma once

#include <string>

// Shows message 126 when the assembly is missing (the load goes on), then
// starts the runtime with it; false when the runtime cannot start (message
// 127 or 128 shown).
bool StartModuleRuntime(const std::string& assemblyPath);
// Stops the runtime and destroys every message window of the module.
void StopModuleRuntime();
