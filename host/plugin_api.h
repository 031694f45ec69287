// SPDX-License-Identifier: GPL-2.0-or-later
// The host's plug-in API object: registration of image-source classes.
#pragma once

#include "host/host_string.h"
#include "host/image_source.h"
#include "host/xelement.h"

#include <vector>

// Creates a source from its settings element (the "data" child of the
// source's element); the host owns the result.
using OBSCREATEPROC = ImageSource* (*)(XElement* data);
// Configures a source given its own element; true when accepted.
using OBSCONFIGPROC = bool (*)(XElement* element, bool creating);

struct ImageSourceClass {
    String className;
    String displayName;
    OBSCREATEPROC create = nullptr;
    OBSCONFIGPROC configure = nullptr;
};

class PluginAPI {
public:
    virtual ~PluginAPI() = default;
    virtual void RegisterImageSourceClass(CTSTR className, CTSTR displayName,
                                          OBSCREATEPROC create, OBSCONFIGPROC configure) = 0;
};

extern PluginAPI* API;
