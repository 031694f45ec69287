// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/user_docs.h"

#include <filesystem>

namespace {

constexpr const char* kPackageUserDocs = "/usr/share/doc/morvik-thanks/user";

}  // namespace

std::string UserDocFile(const char* dataFolder, const char* page) {
    if (dataFolder && *dataFolder) {
        // data/ may be given with a trailing slash: "..", not parent_path().
        const std::filesystem::path carried =
            (std::filesystem::path(dataFolder) / ".." / "doc" / "user" / page).lexically_normal();
        std::error_code error;
        if (std::filesystem::is_regular_file(carried, error)) return carried.string();
    }
    return (std::filesystem::path(kPackageUserDocs) / page).string();
}
