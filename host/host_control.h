// SPDX-License-Identifier: GPL-2.0-or-later
// The host's side of its services: what the headless host and the tests use
// to watch and steer them. Plug-ins never include this.
#pragma once

#include "host/plugin_api.h"

#include <functional>
#include <string>
#include <vector>

// Every log line is written as "HH:MM:SS.mmm: " (local time), then
// "warning: " for AppWarning or "[message box] " for OBSMessageBox, then the
// text. A message box's caption, when it has one, comes first as "caption: ".
enum class LogKind { Line, Warning, MessageBox };

struct LoggedLine {
    LogKind kind;
    String text;  // without the time stamp
};

// Also writes every line to this file (appended); empty stops it. False when
// the file cannot be opened.
bool SetLogFile(const std::string& path);
// Lines are always written to stderr unless this is turned off (tests).
void SetLogToStderr(bool enabled);

// Records every log line, warning and message box while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LoggedLine> Lines() const;
    std::vector<String> Of(LogKind kind) const;
    void Clear();
};

// How often InitColorControl was called, and with which module last.
int ColorControlInitCount();
ModuleHandle ColorControlModule();

// The classes registered through API, in order of registration. A
// registration without a class name or a create callback is refused with a
// warning; registering a class name again replaces the earlier entry in its
// place (a plug-in loaded twice), also with a warning.
const std::vector<ImageSourceClass>& RegisteredClasses();
const ImageSourceClass* FindRegisteredClass(const String& className);
// A new source of a registered class from its settings element ("data"); null
// with a warning when the class is unknown or its create callback gives none.
// The caller owns the source and deletes it with `delete`.
ImageSource* CreateSourceOfClass(const String& className, XElement* data);
void ClearRegisteredClasses();

// Formats like Log/AppWarning (for the host's own messages).
String FormatHostText(CTSTR format, ...);
