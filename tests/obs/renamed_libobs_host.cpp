// SPDX-License-Identifier: GPL-2.0-or-later
// A host program in the place of an OBS Studio whose libobs has another file
// name and SONAME than Debian's (libobs.so.30 and later, as the OBS project
// builds it). It loads that libobs with RTLD_GLOBAL, as OBS Studio's
// executable has it loaded, then the module the way OBS Studio loads one
// (obs_open_module, obs_init_module), and checks the outcome. It links no
// libobs: every call goes through the library it loaded, so nothing but the
// module's own needs could bring Debian's libobs.so.0 into the process.
//
//   renamed_libobs_host LIBOBS MODULE_DIR registered|refused [PACKAGE...]
//
// MODULE_DIR is a user plug-in folder (bin/64bit/, data/). "registered": the
// module loads without an error line and its source kind is offered.
// "refused": the load fails and the kind is not offered. Either way the
// module's error and warning lines in the log must name every PACKAGE.
// libobs's log is printed; exit status 0 when the outcome is the expected
// one.
#include <obs-module.h>
#include <obs.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kSourceKind = "morvik_thanks_image";
constexpr const char* kModulePrefix = "[morvik-thanks]";

struct ModuleLines {
    std::vector<std::string> errors;
    std::vector<std::string> errorsAndWarnings;
} moduleLines;

void CaptureLog(int level, const char* format, va_list arguments, void*) {
    char line[4096];
    vsnprintf(line, sizeof line, format, arguments);
    std::printf("log %d: %s\n", level, line);
    if (!std::string_view(line).starts_with(kModulePrefix) || level > LOG_WARNING) return;
    moduleLines.errorsAndWarnings.emplace_back(line);
    if (level == LOG_ERROR) moduleLines.errors.emplace_back(line);
}

bool Named(const std::string& package) {
    return std::any_of(moduleLines.errorsAndWarnings.begin(), moduleLines.errorsAndWarnings.end(),
                       [&](const std::string& line) { return line.find(package) != std::string::npos; });
}

// The libobs functions used here, looked up in the loaded library by the
// names of libobs's own declarations.
struct Libobs {
    void* handle = nullptr;
    decltype(&base_set_log_handler) setLogHandler = nullptr;
    decltype(&obs_startup) startup = nullptr;
    decltype(&obs_open_module) openModule = nullptr;
    decltype(&obs_init_module) initModule = nullptr;
    decltype(&obs_enum_input_types) enumInputTypes = nullptr;
    decltype(&obs_shutdown) shutdown = nullptr;

    template <typename Function>
    bool Find(Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(handle, name));
        if (!function) std::fprintf(stderr, "renamed_libobs_host: libobs has no %s\n", name);
        return function != nullptr;
    }
    bool Load(const char* path) {
        handle = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
        if (!handle) {
            std::fprintf(stderr, "renamed_libobs_host: %s\n", dlerror());
            return false;
        }
        return Find(setLogHandler, "base_set_log_handler") && Find(startup, "obs_startup") &&
               Find(openModule, "obs_open_module") && Find(initModule, "obs_init_module") &&
               Find(enumInputTypes, "obs_enum_input_types") && Find(shutdown, "obs_shutdown");
    }
};

bool KindOffered(const Libobs& obs) {
    const char* kind = nullptr;
    for (size_t i = 0; obs.enumInputTypes(i, &kind); ++i)
        if (std::string(kind) == kSourceKind) return true;
    return false;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "renamed_libobs_host: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string expected = argc > 3 ? argv[3] : "";
    if (argc < 4 || (expected != "registered" && expected != "refused")) {
        std::fprintf(stderr, "usage: renamed_libobs_host LIBOBS MODULE_DIR registered|refused [PACKAGE...]\n");
        return 2;
    }
    Libobs obs;
    if (!obs.Load(argv[1])) return 1;
    obs.setLogHandler(CaptureLog, nullptr);
    if (!obs.startup("en-US", nullptr, nullptr)) return Fail("obs_startup failed");

    const std::string moduleDir = argv[2];
    const std::string file = moduleDir + "/bin/64bit/morvik-thanks.so";
    obs_module_t* module = nullptr;
    if (const int result = obs.openModule(&module, file.c_str(), (moduleDir + "/data").c_str());
        result != MODULE_SUCCESS)
        return Fail("obs_open_module of " + file + " failed: " + std::to_string(result));
    // The module came in with everything it needs, and Debian's libobs was
    // not among it.
    if (void* debianLibobs = dlopen("libobs.so.0", RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(debianLibobs);
        return Fail("libobs.so.0 was loaded with the module");
    }

    const bool loaded = obs.initModule(module);
    const bool offered = KindOffered(obs);
    obs.shutdown();

    for (int i = 4; i < argc; ++i)
        if (!Named(argv[i])) return Fail(std::string("no error or warning line of the module names ") + argv[i]);
    if (expected == "registered") {
        if (!loaded) return Fail("the module's load failed");
        if (!offered) return Fail(std::string("the module loaded but offers no source kind ") + kSourceKind);
        if (!moduleLines.errors.empty()) return Fail("the module logged an error: " + moduleLines.errors.front());
        std::printf("renamed_libobs_host: the module loaded and registered %s\n", kSourceKind);
        return 0;
    }
    if (loaded) return Fail("the module loaded, though its load was expected to fail");
    if (offered) return Fail(std::string("the refused module still offers ") + kSourceKind);
    std::printf("renamed_libobs_host: the module refused to load and said why\n");
    return 0;
}
