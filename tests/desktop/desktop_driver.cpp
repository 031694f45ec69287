// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/desktop/desktop_driver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <thread>

namespace {

// Runs xdotool with `args`; its exit status and standard output.
std::pair<int, std::string> Xdotool(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return {-1, ""};
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv{const_cast<char*>("xdotool")};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp("xdotool", argv.data());
        perror("cannot run xdotool (package xdotool)");
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return {-1, text};
    return {WEXITSTATUS(status), text};
}

// `text` as a regular expression that matches it literally.
std::string Literal(const std::string& text) {
    std::string pattern;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
        pattern += c;
    }
    return pattern;
}

XWindowId FindTitled(const std::string& text) {
    auto [status, out] = Xdotool({"search", "--onlyvisible", "--name", Literal(text)});
    if (status != 0 || out.empty()) return 0;
    return std::stoul(out);
}

}  // namespace

XWindowId WaitForWindowTitled(const std::string& text, std::chrono::milliseconds timeout,
                              const std::function<bool()>& mayStillAppear) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (XWindowId window = FindTitled(text)) return window;
        if (mayStillAppear && !mayStillAppear()) return FindTitled(text);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return 0;
}

bool WindowTitledExists(const std::string& text) { return FindTitled(text) != 0; }

bool ClickInWindow(XWindowId window, int x, int y) {
    const bool clicked = Xdotool({"mousemove", "--sync", "--window", std::to_string(window), std::to_string(x),
                                  std::to_string(y), "click", "1"})
                             .first == 0;
    // As a user pauses: a next click this soon would be taken for a double click.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return clicked;
}

bool PressKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> args{"key", "--delay", "30"};
    args.insert(args.end(), keys.begin(), keys.end());
    return Xdotool(args).first == 0;
}

bool TypeText(const std::string& text) { return Xdotool({"type", "--delay", "30", text}).first == 0; }

std::string ScreenshotPng(const std::string& path) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return "cannot open the X display";
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    std::string error;
    if (!image) {
        error = "XGetImage failed";
    } else {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->width, image->height);
        auto* pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
        const int stride = cairo_image_surface_get_stride(surface) / 4;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) pixels[y * stride + x] = XGetPixel(image, x, y) & 0xFFFFFF;
        cairo_surface_mark_dirty(surface);
        if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS) error = "cannot write " + path;
        cairo_surface_destroy(surface);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return error;
}
