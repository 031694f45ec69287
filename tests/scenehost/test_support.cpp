// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/scenehost/test_support.h"

#include <cairo.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string TempFile(const char* stem) {
    std::string path = std::string("/tmp/") + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

SurfacePtr LoadPng(const std::string& path) {
    SurfacePtr surface(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) surface.reset();
    return surface;
}

uint32_t Unpremultiply(uint32_t pixel) {
    const uint32_t a = pixel >> 24;
    if (a == 0) return 0;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8) out |= (((pixel >> shift & 0xFF) * 255 + a / 2) / a) << shift;
    return out;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args)
    : outPath_(TempFile("scenehost-test-out")), errPath_(TempFile("scenehost-test-err")) {
    pid_ = fork();
    if (pid_ == 0) {
        const int out = open(outPath_.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(errPath_.c_str(), O_WRONLY | O_TRUNC);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) Wait(0);
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

void ChildProcess::Signal(int signal) const {
    if (pid_ > 0 && !status_) kill(pid_, signal);
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == 0) return true;
    status_ = ended == pid_ ? status : -1;  // -1: not an exit status
    return false;
}

std::string ChildProcess::ErrSoFar() const { return ReadFile(errPath_); }

ProcessResult ChildProcess::Wait(int timeoutSeconds) {
    ProcessResult result;
    if (pid_ <= 0) return result;
    if (!WaitUntil([&] { return !Running(); }, std::chrono::seconds(timeoutSeconds))) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = status;
    }
    const int status = *status_;
    pid_ = -1;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outPath_);
    result.err = ReadFile(errPath_);
    return result;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

ProcessResult RunProcess(const std::vector<std::string>& args, int timeoutSeconds) {
    ChildProcess child(args);
    return child.Wait(timeoutSeconds);
}

TempFolder::TempFolder() {
    std::string pattern = "/tmp/scenehost-test-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::optional<PngImage> LoadPngImage(const std::string& path) {
    SurfacePtr surface = LoadPng(path);
    if (!surface) return std::nullopt;
    cairo_surface_flush(surface.get());
    PngImage image;
    image.width = cairo_image_surface_get_width(surface.get());
    image.height = cairo_image_surface_get_height(surface.get());
    const bool opaque = cairo_image_surface_get_format(surface.get()) == CAIRO_FORMAT_RGB24;
    image.argb.reserve(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface.get()) +
                                                            static_cast<size_t>(y) *
                                                                cairo_image_surface_get_stride(surface.get()));
        for (int x = 0; x < image.width; ++x) image.argb.push_back(Unpremultiply(opaque ? row[x] | 0xFF000000u : row[x]));
    }
    return image;
}

std::optional<uint32_t> PngPixel(const std::string& path, int x, int y) {
    const std::optional<PngImage> image = LoadPngImage(path);
    return image ? image->At(x, y) : std::nullopt;
}

std::optional<int> PngMaxAlpha(const std::string& path) {
    SurfacePtr surface = LoadPng(path);
    if (!surface) return std::nullopt;
    if (cairo_image_surface_get_format(surface.get()) != CAIRO_FORMAT_ARGB32) return 255;
    cairo_surface_flush(surface.get());
    int best = 0;
    for (int y = 0; y < cairo_image_surface_get_height(surface.get()); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface.get()) +
                                                            static_cast<size_t>(y) *
                                                                cairo_image_surface_get_stride(surface.get()));
        for (int x = 0; x < cairo_image_surface_get_width(surface.get()); ++x)
            best = std::max(best, static_cast<int>(row[x] >> 24));
    }
    return best;
}
