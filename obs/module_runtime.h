// The module's start-up and shut-down on the core's side, as the classic
// shell's LoadPlugin and UnloadPlugin do them; both run on the core thread.
// And the way out of a settings form left open.
#pragma once

#include <string>

// Shows message 126 when the assembly is missing (the load goes on), then
// starts the runtime with it. False when the runtime cannot start (message
// 127 or 128 shown) or a class library the logic assembly needs is missing;
// either way OBS's log then names each missing part of Mono and the package
// that installs it (a part only the settings form needs is named as a
// warning, and the module goes on).
bool StartModuleRuntime(const std::string& assemblyPath);
// Stops the runtime and destroys every message window of the module.
void StopModuleRuntime();
// From any thread but the core thread, whose modal loop an open form holds:
// asks the settings form open in the logic assembly to close, as Cancel
// does (a thread of the runtime host's own calls MorvikForms.dll beside the
// logic assembly). False when it could not be asked.
bool CloseOpenSettingsForm();
// On the core thread, after the settings form's call returned: takes the
// closed form's window off the screen (see SettleClosedLogicForms).
void SettleClosedSettingsForm();
