// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/module_runtime.h"

#include "bridge/runtime_host.h"
#include "channel/message_window.h"
#include "obs/bundled_runtime.h"
#include "obs/runtime_requirements.h"
#include "shell/startup_messages.h"

#include <util/base.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace {

// The assembly that closes open settings forms, beside the logic assembly;
// set by the start, on the core thread, before any source exists.
std::string formsHelperPath;

// Names each missing part of Mono in OBS's log, with what brings it (its
// packages, or the portable tarball the module came in when it carries its
// runtime), beside the coded start-up messages; whether the module can run,
// that is, whether the runtime started and no required part is missing.
bool ReportMissingParts(bool started, bool bundled) {
    const std::vector<MissingMonoPart> missing = MissingMonoParts();
    // What brings the missing parts back: their packages, or the tarball the
    // carried runtime came in.
    const auto remedy = [&](const char* install, const std::string& packages) {
        return bundled ? std::string(kUnpackTarballAgain) : install + packages;
    };
    for (const MissingMonoPart& entry : missing)
        blog(entry.part.required ? LOG_ERROR : LOG_WARNING, "[morvik-thanks] %s is missing (%s): %s",
             entry.part.what, entry.where.c_str(), remedy("install ", entry.part.package).c_str());
    const bool requiredMissing =
        std::any_of(missing.begin(), missing.end(), [](const MissingMonoPart& entry) { return entry.part.required; });
    if (started && !requiredMissing) {
        if (!missing.empty())
            blog(LOG_WARNING, "[morvik-thanks] \"Settings…\" cannot open its form until this is installed: %s",
                 remedy("apt install ", PackagesOf(missing)).c_str());
        return true;
    }
    if (!requiredMissing)
        blog(LOG_ERROR, "[morvik-thanks] Mono is there but its runtime did not start (Mono 6.8 or later is needed)");
    // A source kind whose logic cannot run would only draw its hint: it is
    // not registered, and a scene collection keeps its sources for a later
    // start.
    if (bundled)
        blog(LOG_ERROR, "[morvik-thanks] not started, and its source is not offered: %s, then restart OBS Studio",
             kUnpackTarballAgain);
    else
        blog(LOG_ERROR, "[morvik-thanks] not started, and its source is not offered: install what is missing "
                        "(on Debian 12 or 13: apt install %s), then restart OBS Studio",
             missing.empty() ? "mono-runtime libmonosgen-2.0-1" : PackagesOf(missing).c_str());
    return false;
}

}  // namespace

bool StartModuleRuntime(const std::string& assemblyPath) {
    // The portable tarball's runtime, when the module has one beside it, and
    // never the machine's Mono then.
    const std::optional<RuntimeLocation> bundled = BundledRuntime();
    if (bundled) {
        UseRuntimeBeside(*bundled);
        blog(LOG_INFO, "[morvik-thanks] runs the Mono runtime carried beside it: %s", bundled->library.c_str());
    }
    if (access(assemblyPath.c_str(), F_OK) != 0) OBSMessageBox(nullptr, MissingAssemblyMessage().Array(), nullptr, 0);
    const bool started = StartRuntime(assemblyPath) == RuntimeStartOutcome::Started;
    formsHelperPath = (std::filesystem::path(assemblyPath).parent_path() / "MorvikForms.dll").string();
    if (ReportMissingParts(started, bundled.has_value())) return true;
    if (started) StopRuntime();
    return false;
}

void StopModuleRuntime() {
    StopRuntime();
    // The windows' procedure is this module's code: none may outlive it.
    DestroyWindowsOfModule(reinterpret_cast<const void*>(&MessageWindowProc));
}

namespace {

// Set on the core thread, read by OBS's threads.
std::atomic<bool> formUnderWay{false};
// Set by the unload, read on the core thread.
std::atomic<bool> formsRefused{false};

}  // namespace

void BeginSettingsForm(int token) {
    formUnderWay = true;
    BeginLogicForm(formsHelperPath, token);
}

void AllowSettingsForms(bool allowed) { formsRefused = !allowed; }

bool SettingsFormsRefused() { return formsRefused; }

bool SettingsFormUnderWay() { return formUnderWay; }

FormClosing CloseSettingsForm(int token) {
    switch (CloseLogicForms(formsHelperPath, token, kFormCloseLimit)) {
    case 0: return FormClosing::NotUnderWay;
    case 1: return FormClosing::Closing;
    case 2: return FormClosing::ClosesWhenShown;
    default: return FormClosing::Unreachable;
    }
}

bool SettingsFormHoldsCore(FormClosing closing) {
    return closing == FormClosing::ClosesWhenShown || (closing != FormClosing::Closing && formUnderWay);
}

void SettleClosedSettingsForm() {
    SettleClosedLogicForms(formsHelperPath);
    formUnderWay = false;
}
