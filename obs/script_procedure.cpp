#include "obs/script_procedure.h"

#include "obs/thanks_controls.h"

#include <obs-module.h>

#include <string>

namespace {

std::string Argument(calldata_t* call, const char* name) {
    const char* value = calldata_string(call, name);
    return value ? value : "";
}

void OnCall(void*, calldata_t* call) {
    const std::string answer = ControlInput(Argument(call, "input"), "", Argument(call, "action"), Argument(call, "gifts"));
    calldata_set_string(call, "answer", answer.c_str());
}

}  // namespace

void RegisterScriptProcedure() {
    proc_handler_add(obs_get_proc_handler(),
                     "void morvik_thanks_control(in string input, in string action, in string gifts, out string answer)",
                     OnCall, nullptr);
}
