// SPDX-License-Identifier: GPL-2.0-or-later
// A stand-in for a plug-in library: it creates a message window whose
// procedure lives in this module, so a test can unload the module and check
// that nothing calls into it afterwards.
#include "platform/message_window.h"

namespace {

int calls = 0;
int destroys = 0;

intptr_t ModuleProcedure(WindowHandle, uint32_t message, uintptr_t, intptr_t) {
    ++calls;
    if (message == WM_DESTROY) ++destroys;
    return 7;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) WindowHandle CreateModuleWindow() {
    return CreatePlatformWindow(ModuleProcedure);
}
extern "C" __attribute__((visibility("default"))) int ModuleCalls() { return calls; }
extern "C" __attribute__((visibility("default"))) int ModuleDestroys() { return destroys; }
