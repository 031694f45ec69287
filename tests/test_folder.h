// SPDX-License-Identifier: GPL-2.0-or-later
// A fresh, empty folder for one test's files, under the build's test-output
// folder when CTest runs the test, else under the system's temporary folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

inline std::filesystem::path FreshTestFolder(const std::string& name) {
    const char* output = std::getenv("MORVIK_TEST_OUTPUT");
    std::filesystem::path folder =
        std::filesystem::path(output ? output : std::filesystem::temp_directory_path().string()) /
        (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}
