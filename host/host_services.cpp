// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/host_control.h"
#include "host/host_services.h"
#include "host/log_format.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <mutex>
#include <unordered_map>

namespace {

// Log lines can come from any thread (a logic assembly's timer thread through
// the message layer), so the log keeps one lock.
struct LogState {
    std::mutex mutex;
    FILE* file = nullptr;
    bool toStderr = true;
    int captures = 0;
    std::vector<LoggedLine> captured;
};

LogState& State() {
    static LogState state;
    return state;
}

void Write(LogKind kind, const String& text) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    char clock[16], stamp[32];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    std::snprintf(stamp, sizeof stamp, "%s.%03ld", clock, now.tv_nsec / 1000000);
    const char* mark = kind == LogKind::Warning ? "warning: " : kind == LogKind::MessageBox ? "[message box] " : "";
    const std::string utf8 = text.ToUtf8();

    LogState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.toStderr) std::fprintf(stderr, "%s: %s%s\n", stamp, mark, utf8.c_str());
    if (state.file) {
        std::fprintf(state.file, "%s: %s%s\n", stamp, mark, utf8.c_str());
        std::fflush(state.file);
    }
    if (state.captures > 0) state.captured.push_back({kind, text});
}

class HostLocale final : public LocaleStringLookup {
public:
    CTSTR LookupString(CTSTR key) override {
        static const std::unordered_map<std::u16string, std::u16string> table = {
            {u"Sources.TextSource.FontNotFound", u"The font \"$1\" could not be found."},
        };
        const auto found = table.find(key ? key : u"");
        return found != table.end() ? found->second.c_str() : key;
    }
};

HostLocale hostLocale;
int colorControlInits = 0;
ModuleHandle colorControlModule = nullptr;

}  // namespace

LocaleStringLookup* locale = &hostLocale;

void Log(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    String text = FormatLogText(format, args);
    va_end(args);
    Write(LogKind::Line, text);
}

void AppWarning(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    String text = FormatLogText(format, args);
    va_end(args);
    Write(LogKind::Warning, text);
}

String FormatHostText(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    String text = FormatLogText(format, args);
    va_end(args);
    return text;
}

// The headless host has no dialogs: the message goes to the log, where the
// user of the host sees it, and to the capture for tests.
int OBSMessageBox(void* /*owner*/, CTSTR text, CTSTR caption, unsigned /*style*/) {
    String line;
    if (caption && *caption) line << caption << u": ";
    line << text;
    Write(LogKind::MessageBox, line);
    return 0;
}

void InitColorControl(ModuleHandle module) {
    ++colorControlInits;
    colorControlModule = module;
}

int ColorControlInitCount() { return colorControlInits; }
ModuleHandle ColorControlModule() { return colorControlModule; }

bool SetLogFile(const std::string& path) {
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.file) std::fclose(state.file);
    // "e": the log file is not inherited by processes the host starts.
    state.file = path.empty() ? nullptr : std::fopen(path.c_str(), "ae");
    return path.empty() || state.file;
}

void SetLogToStderr(bool enabled) {
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    state.toStderr = enabled;
}

LogCapture::LogCapture() {
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.captures++ == 0) state.captured.clear();
}

LogCapture::~LogCapture() {
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    --state.captures;
}

std::vector<LoggedLine> LogCapture::Lines() const {
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    return state.captured;
}

std::vector<String> LogCapture::Of(LogKind kind) const {
    std::vector<String> result;
    for (const LoggedLine& line : Lines())
        if (line.kind == kind) result.push_back(line.text);
    return result;
}

void LogCapture::Clear() {
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    state.captured.clear();
}
