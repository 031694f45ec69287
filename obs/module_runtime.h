// SPDX-License-Identifier: GPL-2.0-or-later
// The module's start-up and shut-down on the core's side, as the classic
// shell's LoadPlugin and UnloadPlugin do them; both run on the core thread.
// And the settings forms' turns on the core thread, and the way out of one
// whose source has gone.
#pragma once

#include <chrono>
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

// A source's settings form runs in its modal loop on the core thread, one
// form at a time; each source has a token of its own (never
// kAnySettingsForm) that names its form.
inline constexpr int kAnySettingsForm = 0;

// On the core thread, before the logic assembly's form call for the source
// `token` (or before deciding not to make it): from now on
// CloseSettingsForm(token) reaches that form. The turn ends with
// SettleClosedSettingsForm.
void BeginSettingsForm(int token);
// Allowed from the module's load; refused at its unload, before the form
// under way is closed: no form opens after that, and nothing of one that
// closes later goes back to OBS. Any thread.
void AllowSettingsForms(bool allowed);
bool SettingsFormsRefused();
// Any thread: whether a form is under way on the core thread (from
// BeginSettingsForm until SettleClosedSettingsForm), which holds it for as
// long as the user or the logic assembly likes.
bool SettingsFormUnderWay();

enum class FormClosing {
    NotUnderWay,      // no form of that source had begun to open
    Closing,          // its form was shown, and is asked to close
    ClosesWhenShown,  // its form is still opening, and is closed as soon as it shows
    Unreachable,      // the runtime does not run, or the call did not come back within its limit
};
// From any thread but the core thread: asks the settings form of the source
// `token` (whichever form is under way with kAnySettingsForm) to close, as
// Cancel does, from the form's own thread; a thread of the runtime host's
// own calls MorvikForms.dll beside the logic assembly. The call does not
// wait for the core, only for that thread, at most kFormCloseLimit, and
// none is made while an earlier one has not come back.
inline constexpr std::chrono::milliseconds kFormCloseLimit{1000};
FormClosing CloseSettingsForm(int token);
// After CloseSettingsForm answered `closing`: whether a settings form holds
// the core thread for longer than anyone should wait for it, that is, one
// still opening, or one other than a shown form just asked to close.
bool SettingsFormHoldsCore(FormClosing closing);
// On the core thread, after the settings form's call returned: ends the
// form's turn and takes the closed form's window off the screen (see
// SettleClosedLogicForms).
void SettleClosedSettingsForm();
