// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/script_procedure.h"

#include "channel/control_error.h"
#include "obs/thanks_controls.h"
#include "platform/loaded_library.h"

#include <obs-module.h>

#include <mutex>
#include <shared_mutex>
#include <string>

namespace {

// Held shared by each call, and exclusively to close the procedure.
std::shared_mutex open;
bool isOpen = false;

std::string Argument(calldata_t* call, const char* name) {
    const char* value = calldata_string(call, name);
    return value ? value : "";
}

void OnCall(void*, calldata_t* call) {
    std::string answer;
    {
        std::shared_lock lock(open);
        answer = isOpen ? ControlInput(Argument(call, "input"), "", Argument(call, "action"), Argument(call, "gifts"))
                        : ControlError("the thanks module has been unloaded (OBS is exiting)");
    }
    calldata_set_string(call, "answer", answer.c_str());
}

}  // namespace

void RegisterScriptProcedure() {
    // The procedure stays on OBS's proc handler after the module's unload:
    // its code must stay mapped for a late call.
    KeepLibraryLoaded(reinterpret_cast<const void*>(&OnCall));
    {
        std::unique_lock lock(open);
        isOpen = true;
    }
    proc_handler_add(obs_get_proc_handler(),
                     "void morvik_thanks_control(in string input, in string action, in string gifts, out string answer)",
                     OnCall, nullptr);
}

void CloseScriptProcedure() {
    std::unique_lock lock(open);
    isOpen = false;
}
