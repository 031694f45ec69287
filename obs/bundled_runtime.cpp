// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/bundled_runtime.h"

#include <dlfcn.h>

#include <filesystem>

namespace {

// The folder of the file this code was loaded from: the module's, wherever
// the user unpacked it.
std::filesystem::path ModuleFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) || !info.dli_fname)
        return {};
    std::error_code error;
    return std::filesystem::absolute(info.dli_fname, error).parent_path();
}

}  // namespace

std::optional<RuntimeLocation> BundledRuntime()
{
    const std::filesystem::path module = ModuleFolder();
    if (module.empty())
        return std::nullopt;
    const std::filesystem::path root = module / kBundledRuntimeFolder;
    std::error_code error;
    if (!std::filesystem::is_directory(root, error))
        return std::nullopt;
    const std::filesystem::path lib = root / "lib";
    const std::string nativeHelpers = (lib / "libmono-native.so").string();
    const std::string posixHelper = (lib / "libMonoPosixHelper.so").string();
    const std::string drawing = (lib / "libgdiplus.so.0").string();
    RuntimeLocation location;
    location.library = (lib / "libmonosgen-2.0.so.1").string();
    location.classLibraryRoot = lib.string();
    location.configRoot = (root / "etc").string();
    // The names Mono's own configuration maps for the class libraries'
    // P/Invokes, sent to the carried files instead of the machine's.
    location.nativeLibraries = {
        {"System.Native", nativeHelpers},       {"System.Net.Security.Native", nativeHelpers},
        {"MonoPosixHelper", posixHelper},       {"gdiplus", drawing},
        {"gdiplus.dll", drawing},               {"gdi32", drawing},
        {"gdi32.dll", drawing},
    };
    return location;
}
