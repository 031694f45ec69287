// SPDX-License-Identifier: GPL-2.0-or-later
#include "stress/stress_options.h"

#include <charconv>
#include <filesystem>
#include <string_view>

const char* const kStressUsage =
    "usage:\n"
    "  stresshost messages SCENE [--threads N] [--messages M]\n"
    "      N threads (default 4) each send M messages (default 25000) to the first\n"
    "      source's message window, log lines and thanks texts in turn, while\n"
    "      frames are drawn as fast as possible; counts what arrived\n"
    "  stresshost sources SCENE [--count N]\n"
    "      creates and destroys the scene's first source N times (default 100)\n"
    "  stresshost reload SCENE [--count N]\n"
    "      loads the plug-ins, runs the scene's sources a few frames and unloads\n"
    "      the plug-ins again, N times (default 20)\n"
    "Each prints its figures as \"key: value\" lines, saves the scene and exits\n"
    "1 when a check failed, 2 on a usage error.\n";

namespace {

std::optional<int64_t> ParseCount(std::string_view text, int64_t low, int64_t high) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

std::optional<StressOptions> ParseStressCommandLine(int argc, char** argv, std::string& error) {
    StressOptions options;
    if (argc < 2) {
        error = "a command is needed";
        return std::nullopt;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") return options;
    if (command == "messages") options.command = StressOptions::Command::Messages;
    else if (command == "sources") options.command = StressOptions::Command::Sources;
    else if (command == "reload") options.command = StressOptions::Command::Reload;
    else {
        error = "unknown command \"" + std::string(command) + "\"";
        return std::nullopt;
    }
    if (argc < 3 || argv[2][0] == '\0') {
        error = std::string(command) + ": the scene file is missing";
        return std::nullopt;
    }
    std::error_code ec;
    options.scenePath = std::filesystem::absolute(argv[2], ec).lexically_normal().string();
    if (ec) {
        error = std::string("cannot resolve ") + argv[2] + ": " + ec.message();
        return std::nullopt;
    }
    options.count = options.command == StressOptions::Command::Sources ? 100 : 20;

    struct Option {
        const char* name;
        int64_t* value;
        int64_t low, high;
    };
    const bool messages = options.command == StressOptions::Command::Messages;
    const Option known[] = {
        {"--threads", messages ? &options.threads : nullptr, 1, 64},
        {"--messages", messages ? &options.messages : nullptr, 1, 10'000'000},
        {"--count", messages ? nullptr : &options.count, 1, 100'000},
    };
    for (int i = 3; i < argc; ++i) {
        const std::string_view name = argv[i];
        const Option* option = nullptr;
        for (const Option& candidate : known)
            if (name == candidate.name && candidate.value) option = &candidate;
        if (!option) {
            error = std::string(command) + ": unknown option \"" + std::string(name) + "\"";
            return std::nullopt;
        }
        if (i + 1 >= argc) {
            error = std::string(name) + " needs a value";
            return std::nullopt;
        }
        const std::optional<int64_t> value = ParseCount(argv[++i], option->low, option->high);
        if (!value) {
            error = std::string(name) + " must be a whole number from " + std::to_string(option->low) + " to " +
                    std::to_string(option->high) + ", not \"" + argv[i] + "\"";
            return std::nullopt;
        }
        *option->value = *value;
    }
    return options;
}
