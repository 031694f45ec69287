// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers of the process-level tests: running an executable with its output
// captured, a temporary host folder, files and PNG pixels.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// A child process whose stdout and stderr go to files until it ends.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal) const;
    // False once it has ended (it is not waited for).
    bool Running();
    // What it has written to stderr so far.
    std::string ErrSoFar() const;
    // Waits up to `timeoutSeconds`, then kills it; the result either way.
    ProcessResult Wait(int timeoutSeconds);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;  // set once it has ended
    std::string outPath_, errPath_;
};

// How long a test waits for what normally takes a second or two: only a
// hang, not a loaded machine, reaches it.
constexpr std::chrono::seconds kHangBound{120};

// Checks `done` every 20 ms until it holds (true) or `limit` has passed.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kHangBound);

ProcessResult RunProcess(const std::vector<std::string>& args, int timeoutSeconds = 60);

// A fresh folder under /tmp, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// A PNG file's pixels as 0xAARRGGBB (straight alpha), top row first.
struct PngImage {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
    std::optional<uint32_t> At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
        return argb[static_cast<size_t>(y) * width + x];
    }
};
std::optional<PngImage> LoadPngImage(const std::string& path);

// 0xAARRGGBB (straight alpha) of a pixel of a PNG file, or none when the
// file cannot be read or the pixel is outside it.
std::optional<uint32_t> PngPixel(const std::string& path, int x, int y);
// The largest alpha of any pixel, or none when the file cannot be read.
std::optional<int> PngMaxAlpha(const std::string& path);
