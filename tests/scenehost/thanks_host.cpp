// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/scenehost/thanks_host.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

std::string InstallThanksHost(const TempFolder& temp) {
    const std::string host = temp.Path() + "/host";
    fs::create_directories(host + "/plugins/MorvikThanks");
    fs::copy_file(SCENEHOST_PATH, host + "/scenehost");
    fs::copy_file(THANKS_PLUGIN_PATH, host + "/plugins/MorvikThanks.so");
    fs::copy_file(LOGIC_ASSEMBLY_PATH, host + "/plugins/MorvikThanks/Tavrel.dll");
    return host + "/scenehost";
}

int InkRight(const std::string& png, int top, int height, uint32_t background) {
    const std::optional<PngImage> image = LoadPngImage(png);
    int right = -1;
    for (int y = top; image && y < top + height; ++y)
        for (int x = 0; x < image->width; ++x)
            if (image->At(x, y).value_or(background) != background) right = std::max(right, x);
    return right;
}

int PreviewWidth(const std::string& text, int fontSize, const std::string& folder) {
    const ProcessResult preview = RunProcess({THANKS_RENDER_PATH, "--font", "WenQuanYi Micro Hei", "--fontSize",
                                              std::to_string(fontSize), "--out", folder + "/expected.png", text});
    float boxX, boxY, boxWidth, boxHeight;
    int width = 0, height = 0;
    if (preview.exitCode != 0 || std::sscanf(preview.out.c_str(), "box %f %f %f %f texture %d %d", &boxX, &boxY,
                                             &boxWidth, &boxHeight, &width, &height) != 6)
        return 0;
    return width;
}

std::vector<std::string> FramesWritten(const std::string& out) {
    std::vector<std::string> frames;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(out, ec))
        if (entry.path().filename().string().rfind("frame-", 0) == 0) frames.push_back(entry.path().string());
    std::sort(frames.begin(), frames.end());
    return frames;
}

bool WaitForFrameShowing(ChildProcess& host, const std::string& out,
                         const std::function<bool(const std::string& png)>& shows) {
    // The newest frame may still be being written; it then fails to load
    // and is looked at again on the next round.
    return WaitUntil([&] {
        const std::vector<std::string> frames = FramesWritten(out);
        return !host.Running() || (!frames.empty() && shows(frames.back()));
    }) && host.Running();
}
