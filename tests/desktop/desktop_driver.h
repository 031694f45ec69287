// SPDX-License-Identifier: GPL-2.0-or-later
// Driving the X display a test runs on as a user would: finding a window by
// its title, clicking and typing into it through the XTEST extension (the
// xdotool program), and screenshots of the whole screen.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using XWindowId = unsigned long;

// The first mapped window whose title holds `text`, once there is one; 0 when
// none appears within `timeout`, or as soon as `mayStillAppear` (when given)
// says it will not, as when the program that would show it has ended.
// xdotool reads titles in the C locale, so `text` is best plain ASCII.
XWindowId WaitForWindowTitled(const std::string& text, std::chrono::milliseconds timeout,
                              const std::function<bool()>& mayStillAppear = {});

// True while a window whose title holds `text` is mapped.
bool WindowTitledExists(const std::string& text);

// A left click at (x, y) in the window's own coordinates; returns after a
// pause, so that a next click is not taken for a double click.
bool ClickInWindow(XWindowId window, int x, int y);

// Key presses by X key name ("End", "BackSpace", "ctrl+a"), then text typed
// as is; each false when xdotool fails.
bool PressKeys(const std::vector<std::string>& keys);
bool TypeText(const std::string& text);

// The whole screen as a PNG at `path`; an empty string, or what went wrong.
std::string ScreenshotPng(const std::string& path);
