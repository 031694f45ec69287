// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/runtime_requirements.h"

#include "bridge/runtime_host.h"
#include "obs/bundled_runtime.h"

#include <dlfcn.h>

#include <filesystem>
#include <optional>
#include <set>

namespace {

constexpr const char* kUsualClassLibraryRoot = "/usr/lib";

const MonoPart kRuntimeLibrary{"Mono's runtime (6.8 or later)", "libmonosgen-2.0.so.1",
                               "mono-runtime libmonosgen-2.0-1", true};

// Required ones first, as MissingMonoParts lists them.
const MonoPart kClassLibraries[] = {
    {"Mono's 4.5 class library", "mscorlib.dll", "libmono-corlib4.5-cil", true},
    {"A class library of the logic assembly", "System.dll", "libmono-system4.0-cil", true},
    {"A class library of the logic assembly", "System.Core.dll", "libmono-system-core4.0-cil", true},
    {"A class library of the logic assembly", "System.Xml.dll", "libmono-system-xml4.0-cil", true},
    {"The gift endpoint's JSON reader", "System.Runtime.Serialization.dll",
     "libmono-system-runtime-serialization4.0-cil", true},
    {"Windows Forms (for the \"Settings…\" form)", "System.Windows.Forms.dll", "libmono-system-windows-forms4.0-cil",
     false},
    {"System.Drawing (for the \"Settings…\" form)", "System.Drawing.dll", "libmono-system-drawing4.0-cil", false},
};

// The library Mono's configuration maps System.Drawing's "gdiplus" to.
const MonoPart kDrawingLibrary{"The drawing library of the \"Settings…\" form", "libgdiplus.so.0", "libgdiplus", false};

// The file the carried runtime maps System.Drawing's "gdiplus" to.
std::string DrawingLibraryOf(const RuntimeLocation& location) {
    for (const auto& [name, file] : location.nativeLibraries)
        if (name == "gdiplus") return file;
    return kDrawingLibrary.file;
}

}  // namespace

std::vector<MissingMonoPart> MissingMonoParts() {
    std::vector<MissingMonoPart> missing;
    // The runtime carried beside the module is looked at in its own folder,
    // the machine's by the names the dynamic loader finds.
    const std::optional<RuntimeLocation> bundled = BundledRuntime();
    if (!RuntimeLibraryLoaded())
        missing.push_back({kRuntimeLibrary, RuntimeLibraryName() + " cannot be loaded"});
    std::string root = ClassLibraryRoot();
    if (root.empty()) root = kUsualClassLibraryRoot;
    const std::filesystem::path folder = std::filesystem::path(root) / "mono/4.5";
    for (const MonoPart& part : kClassLibraries) {
        std::error_code error;
        const std::filesystem::path file = folder / part.file;
        if (!std::filesystem::is_regular_file(file, error)) missing.push_back({part, file.string()});
    }
    // Loaded as Mono would load it for the form, and left loaded for that.
    const std::string drawing = bundled ? DrawingLibraryOf(*bundled) : kDrawingLibrary.file;
    if (!dlopen(drawing.c_str(), RTLD_LAZY | RTLD_LOCAL))
        missing.push_back({kDrawingLibrary, drawing + " cannot be loaded"});
    return missing;
}

std::string PackagesOf(const std::vector<MissingMonoPart>& parts) {
    std::string packages;
    std::set<std::string> named;
    for (const MissingMonoPart& missing : parts) {
        if (!named.insert(missing.part.package).second) continue;
        if (!packages.empty()) packages += ' ';
        packages += missing.part.package;
    }
    return packages;
}
