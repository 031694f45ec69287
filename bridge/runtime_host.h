// SPDX-License-Identifier: GPL-2.0-or-later
// The runtime host: starts Mono once per process and carries the command
// strings of the outbound protocol to the logic assembly's static method
// Tavrel.Tavrel.Command(string), returning its integer.
#pragma once

#include "host/host_string.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Where the classic host keeps the logic assembly, relative to its working
// directory. Other hosts hand StartRuntime a path of their own.
inline constexpr const char* kLogicAssemblyPath = "./plugins/MorvikThanks/Tavrel.dll";

enum class RuntimeStartOutcome {
    Started,
    Unavailable,  // Mono is there but not its 4.5 class library: message 127 shown
    Fault,        // no Mono library, a missing entry point, a failed start: message 128 shown
};

// What the most recent command call did, so that a caller can tell a failed
// call (which returns 0) from a real result of 0.
enum class LogicCallResult {
    Ok,
    NoRuntime,          // the runtime is not started
    AssemblyMissing,    // the assembly file is absent or not an assembly
    EntryPointMissing,  // no static int Tavrel.Tavrel.Command(string) in it
    ManagedException,   // Command threw
};

// Starts the runtime the first time it is called in the process and takes up
// that same runtime on every later call (Mono cannot be restarted). Commands
// go to the assembly at `assemblyPath` from then on. On failure the design's
// message 127 or 128 has been shown with OBSMessageBox.
RuntimeStartOutcome StartRuntime(const std::string& assemblyPath);

// Sends "quit" when the runtime runs, then marks it stopped; the runtime
// itself stays in the process for a later StartRuntime.
void StopRuntime();

// True from a successful StartRuntime until StopRuntime: the runtime host the
// plug-in tests before sending anything.
bool RuntimeHostPresent();

// Calls Command(text) on the current thread (attaching the thread to the
// runtime first if needed) and returns its result; 0 when the call fails,
// which LastLogicCallResult then tells. Never throws, never ends the process
// on a managed exception. The assembly and method are looked up on first use
// and kept; after a failed look-up the next call looks again.
int32_t SendLogicCommand(const String& text);
LogicCallResult LastLogicCallResult();

// The logic assembly's settings forms, through the helper assembly at
// `helperPath` (its static class MorvikThanks.OpenForms), for a host whose
// forms run one at a time in their modal loop on the one thread that calls
// the assembly.
//
// On that thread, before the form call for the source `token` (never 0):
// from now on CloseLogicForms(token) reaches that form. 0, or -1 when the
// runtime does not run or the helper could not be called.
int32_t BeginLogicForm(const std::string& helperPath, int32_t token);
// From any other thread: asks the form of the source `token` (whichever
// form is under way with 0) to close, as Cancel does, from the form's own
// thread; a form that has not shown yet is closed as soon as it shows. The
// call runs on a thread of its own, attached to the runtime for the call and
// detached after, which leaves the caller's standing with the runtime alone;
// it is waited for at most `limit` (a thread still not back then is left to
// finish, with this code kept in memory for it, and no other call is made
// until it is back). 1 when a shown form was
// asked to close, 2 when the form is still opening, 0 when no form of that
// source is under way, -1 when the runtime does not run or the helper could
// not be called in time.
int32_t CloseLogicForms(const std::string& helperPath, int32_t token, std::chrono::milliseconds limit);
// On the thread that showed a form of the logic assembly, once that call has
// returned: ends the form's turn, and lets Windows Forms finish what closing
// the form queued on this thread (Mono 6.12 takes the form's window off the
// screen only then). 1 when Windows Forms was loaded, 0 when not, -1 when
// the runtime does not run or the helper could not be called.
int32_t SettleClosedLogicForms(const std::string& helperPath);

// For telling what is missing when the runtime cannot start: whether the
// Mono library was loaded with every entry point the host calls, and the
// root folder of Mono's class libraries (the one holding mono/4.5/) that the
// runtime uses, known once that library is loaded (empty before).
bool RuntimeLibraryLoaded();
std::string RuntimeLibraryName();
std::string ClassLibraryRoot();

// A Mono runtime carried in the plug-in's own folder rather than the
// machine's: the runtime library's path, the root of its class libraries
// (holding mono/4.5/), the root of its configuration (holding mono/config
// and mono/4.5/machine.config), and the native libraries its class libraries
// P/Invoke, each as the name they use ("gdiplus", "System.Native") and the
// file it must load.
struct RuntimeLocation {
    std::string library;
    std::string classLibraryRoot;
    std::string configRoot;
    std::vector<std::pair<std::string, std::string>> nativeLibraries;
};

// Runs the runtime at `location` instead of the machine's Mono, which is then
// never loaded. Takes effect only before the runtime has first started in
// the process.
void UseRuntimeBeside(const RuntimeLocation& location);

// Test seams; both take effect only before the runtime has first started in
// the process. The name of the Mono library to load (it is loaded at once;
// without it, the machine's libmonosgen-2.0.so.1 is loaded on first need),
// and the root folder of Mono's class libraries (Mono's own when empty).
void SetRuntimeLibraryName(const std::string& name);
void SetClassLibraryRoot(const std::string& root);
