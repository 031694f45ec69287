// SPDX-License-Identifier: GPL-2.0-or-later
// The scenehost command line: which command to run and its options, parsed
// strictly so that a mistyped number is refused rather than read as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct RunOptions {
    std::string scenePath;                 // absolute
    std::optional<int64_t> frames;         // --frames N
    std::optional<double> seconds;         // --seconds S
    double fps = 30.0;                     // --fps F; 0 runs as fast as possible
    std::string outDir;                    // --out DIR, absolute; empty writes no PNGs
    int64_t every = 1;                     // --every K: every K-th frame written
};

struct ConfigureOptions {
    std::string scenePath;  // absolute
    std::string sourceName;
};

struct CommandLine {
    enum class Command { Run, Configure, Help } command = Command::Help;
    RunOptions run;
    ConfigureOptions configure;
};

// The usage text printed by --help and after a usage error.
extern const char* const kUsage;

// Parses argv; relative paths are made absolute against the current folder
// (before the host changes it). On a usage error, `error` says what is wrong.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error);
