// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/command_line.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <vector>

const char* const kUsage =
    "usage:\n"
    "  scenehost run SCENE [--seconds S | --frames N] [--fps F] [--out DIR] [--every K]\n"
    "      Runs the scene's sources frame by frame in real time at F frames a second\n"
    "      (default 30; 0 runs as fast as possible) for S seconds or N frames, or until\n"
    "      Ctrl-C. With --out, every K-th frame (default 1) is written as DIR/frame-NNNNNN.png\n"
    "      and an overview of the run as DIR/summary.png. The scene file is saved at the end.\n"
    "  scenehost configure SCENE SOURCE\n"
    "      Runs the configure action of the source named SOURCE and saves the scene when\n"
    "      it is accepted.\n"
    "Plug-ins are loaded from the plugins/ folder beside the scenehost executable.\n";

namespace {

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

bool ParseInteger(std::string_view text, int64_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseNumber(std::string_view text, double& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    CommandLine line;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") return line;

    std::vector<std::string_view> positional;
    if (args[0] == "configure") {
        for (size_t i = 1; i < args.size(); ++i) positional.push_back(args[i]);
        if (positional.size() != 2) {
            error = "configure takes a scene file and a source name";
            return std::nullopt;
        }
        line.command = CommandLine::Command::Configure;
        line.configure.scenePath = Absolute(std::string(positional[0]));
        line.configure.sourceName = std::string(positional[1]);
        return line;
    }
    if (args[0] != "run") {
        error = "unknown command \"" + std::string(args[0]) + "\"";
        return std::nullopt;
    }

    line.command = CommandLine::Command::Run;
    RunOptions& run = line.run;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = std::string(arg) + " needs a value";
            return std::nullopt;
        }
        const std::string_view value = args[++i];
        int64_t integer = 0;
        double number = 0;
        if (arg == "--frames") {
            if (!ParseInteger(value, integer) || integer < 1) {
                error = "--frames takes a whole number of at least 1, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            run.frames = integer;
        } else if (arg == "--seconds") {
            if (!ParseNumber(value, number) || number <= 0) {
                error = "--seconds takes a number above 0, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            run.seconds = number;
        } else if (arg == "--fps") {
            if (!ParseNumber(value, number) || number < 0 || number > 10000) {
                error = "--fps takes a number from 0 to 10000, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            run.fps = number;
        } else if (arg == "--every") {
            if (!ParseInteger(value, integer) || integer < 1) {
                error = "--every takes a whole number of at least 1, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            run.every = integer;
        } else if (arg == "--out") {
            if (value.empty()) {
                error = "--out needs a folder";
                return std::nullopt;
            }
            run.outDir = Absolute(std::string(value));
        } else {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        }
    }
    if (positional.size() != 1) {
        error = positional.empty() ? "run needs a scene file" : "run takes one scene file";
        return std::nullopt;
    }
    if (run.frames && run.seconds) {
        error = "give either --frames or --seconds, not both";
        return std::nullopt;
    }
    run.scenePath = Absolute(std::string(positional[0]));
    return line;
}
