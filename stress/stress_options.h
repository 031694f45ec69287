// SPDX-License-Identifier: GPL-2.0-or-later
// The stress host's command line, parsed strictly: a mistyped number is
// refused, not read as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct StressOptions {
    enum class Command { Messages, Sources, Reload, Help } command = Command::Help;
    std::string scenePath;   // absolute
    int64_t threads = 4;     // messages: sending threads
    int64_t messages = 25000;// messages: messages per thread
    int64_t count = 0;       // sources / reload: cycles (0: the command's default)
};

extern const char* const kStressUsage;

// Parses argv; a relative scene path is made absolute against the current
// folder (before the host changes it). On a usage error, `error` says why.
std::optional<StressOptions> ParseStressCommandLine(int argc, char** argv, std::string& error);
