// SPDX-License-Identifier: GPL-2.0-or-later
// The Mono runtime that the portable tarball carries in the module's own
// folder, for machines whose Mono (if any) cannot be counted on. The Debian
// package carries none: it runs on the machine's Mono.
#pragma once

#include "bridge/runtime_host.h"

#include <optional>
#include <string>

// The folder, beside the module's own file, that holds the carried runtime:
// lib/ (libmonosgen, Mono's native helpers, libgdiplus and what they need,
// the class libraries under lib/mono/gac/, linked from lib/mono/4.5/) and
// etc/ (Mono's configuration).
inline constexpr const char* kBundledRuntimeFolder = "morvik-runtime";

// The carried runtime when the module has that folder beside it, whatever is
// missing inside (what is missing is then reported, and the machine's Mono is
// still never used); empty when the module has no such folder.
std::optional<RuntimeLocation> BundledRuntime();
