// SPDX-License-Identifier: GPL-2.0-or-later
// Log, warnings, message boxes and the locale table when OBS Studio is the
// host. Everything goes to OBS's log through blog; a module has no dialogs of
// its own, so a message box becomes an error-level line the user finds in the
// log viewer.

#include "host/host_services.h"
#include "host/log_format.h"
#include "obs/obs_host.h"

#include <util/base.h>

#include <atomic>
#include <cstdarg>
#include <map>
#include <mutex>
#include <string>

namespace {

void Write(int level, const String& text) { blog(level, "[morvik-thanks] %s", text.ToUtf8().c_str()); }

std::atomic<ModuleTextLookup> moduleText{nullptr};

class ModuleLocale final : public LocaleStringLookup {
public:
    // A looked-up text stays valid for the life of the process: each key's
    // text is kept, as the interface hands out a bare pointer.
    CTSTR LookupString(CTSTR key) override {
        const ModuleTextLookup lookup = moduleText.load();
        if (!key || !lookup) return key;
        const std::string utf8 = Utf16ToUtf8(key);
        std::lock_guard lock(mutex_);
        auto entry = texts_.find(utf8);
        if (entry == texts_.end()) entry = texts_.emplace(utf8, Utf8ToUtf16(lookup(utf8.c_str()))).first;
        return entry->second.c_str();
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::u16string> texts_;
};

ModuleLocale moduleLocale;

}  // namespace

LocaleStringLookup* locale = &moduleLocale;

void SetModuleTextLookup(ModuleTextLookup lookup) { moduleText = lookup; }

void Log(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    const String text = FormatLogText(format, args);
    va_end(args);
    Write(LOG_INFO, text);
}

void AppWarning(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    const String text = FormatLogText(format, args);
    va_end(args);
    Write(LOG_WARNING, text);
}

int OBSMessageBox(void* /*owner*/, CTSTR text, CTSTR caption, unsigned /*style*/) {
    String line;
    if (caption && *caption) line << caption << u": ";
    line << text;
    Write(LOG_ERROR, line);
    return 0;
}

// OBS Studio's properties view has its own colour picker.
void InitColorControl(ModuleHandle /*module*/) {}
