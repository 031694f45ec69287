// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/frame_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

FrameOutput::FrameOutput(std::string folder, int64_t every, int canvasWidth, int canvasHeight)
    : folder_(std::move(folder)), every_(every), sheet_(canvasWidth, canvasHeight) {}

std::string FrameOutput::Frame(const CairoGraphics& canvas, int64_t frame) {
    sheet_.Offer(canvas, frame);
    if (given_++ % every_ != 0) return {};
    char name[40];
    std::snprintf(name, sizeof name, "/frame-%06lld.png", static_cast<long long>(frame));
    const std::string error = canvas.WriteCanvasPng(folder_ + name);
    return error.empty() ? error : folder_ + name + ": " + error;
}

std::string FrameOutput::Finish(const CairoGraphics& canvas, int64_t lastFrame) {
    sheet_.Finish(canvas, lastFrame);
    const std::string error = sheet_.Write(SummaryPath());
    return error.empty() ? error : SummaryPath() + ": " + error;
}

std::string CheckWritableFolder(const std::string& folder, bool create) {
    std::error_code ec;
    if (create && !std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) return "cannot create the folder " + folder + ": " + ec.message();
    }
    if (!std::filesystem::is_directory(folder, ec)) return folder + " is not a folder";
    // access(W_OK) says yes to root on a read-only file system; creating a
    // file is the only sure test.
    std::string probe = folder + "/.scenehost-probe-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return "cannot write into the folder " + folder + ": " + std::strerror(errno);
    close(fd);
    unlink(probe.c_str());
    return {};
}
