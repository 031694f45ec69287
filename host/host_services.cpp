#include "host/host_control.h"
#include "host/host_services.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
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

void AppendUtf16Number(std::u16string& out, const char* text) {
    for (; *text; ++text) out.push_back(static_cast<char16_t>(*text));
}

// printf for UTF-16 formats: %s (UTF-16 text), %d, %i, %u, %x, %X, %f, %c,
// %%; an optional 'l' or 'h' size letter is accepted and ignored. An unknown
// conversion is written as it stands, consuming no argument.
String FormatV(CTSTR format, va_list args) {
    std::u16string out;
    if (!format) return String();
    for (CTSTR p = format; *p; ++p) {
        if (*p != u'%') {
            out.push_back(*p);
            continue;
        }
        CTSTR start = p;
        ++p;
        while (*p == u'l' || *p == u'h') ++p;
        char buffer[64];
        switch (*p) {
            case u'%': out.push_back(u'%'); break;
            case u's': {
                CTSTR text = va_arg(args, CTSTR);
                out += text ? text : u"(null)";
                break;
            }
            case u'c': out.push_back(static_cast<char16_t>(va_arg(args, int))); break;
            case u'd':
            case u'i': std::snprintf(buffer, sizeof buffer, "%d", va_arg(args, int)), AppendUtf16Number(out, buffer); break;
            case u'u': std::snprintf(buffer, sizeof buffer, "%u", va_arg(args, unsigned)), AppendUtf16Number(out, buffer); break;
            case u'x': std::snprintf(buffer, sizeof buffer, "%x", va_arg(args, unsigned)), AppendUtf16Number(out, buffer); break;
            case u'X': std::snprintf(buffer, sizeof buffer, "%X", va_arg(args, unsigned)), AppendUtf16Number(out, buffer); break;
            case u'f': std::snprintf(buffer, sizeof buffer, "%f", va_arg(args, double)), AppendUtf16Number(out, buffer); break;
            case 0:
                out.append(start, p);
                return String(std::move(out));
            default: out.append(start, p + 1); break;
        }
    }
    return String(std::move(out));
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
    String text = FormatV(format, args);
    va_end(args);
    Write(LogKind::Line, text);
}

void AppWarning(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    String text = FormatV(format, args);
    va_end(args);
    Write(LogKind::Warning, text);
}

String FormatHostText(CTSTR format, ...) {
    va_list args;
    va_start(args, format);
    String text = FormatV(format, args);
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
    state.file = path.empty() ? nullptr : std::fopen(path.c_str(), "a");
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
