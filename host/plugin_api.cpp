// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/host_control.h"
#include "host/host_services.h"
#include "host/plugin_api.h"

namespace {

class HostPluginAPI final : public PluginAPI {
public:
    void RegisterImageSourceClass(CTSTR className, CTSTR displayName, OBSCREATEPROC create,
                                  OBSCONFIGPROC configure) override {
        const String name(className);
        if (name.IsEmpty() || !create) {
            AppWarning(u"RegisterImageSourceClass: class \"%s\" has no name or no create callback; not registered",
                       name.Array());
            return;
        }
        ImageSourceClass entry{name, String(displayName), create, configure};
        for (ImageSourceClass& existing : classes) {
            if (existing.className == name) {
                AppWarning(u"RegisterImageSourceClass: class \"%s\" registered again; the new registration replaces it",
                           name.Array());
                existing = std::move(entry);
                return;
            }
        }
        classes.push_back(std::move(entry));
    }
    std::vector<ImageSourceClass> classes;
};

HostPluginAPI hostApi;

}  // namespace

PluginAPI* API = &hostApi;

const std::vector<ImageSourceClass>& RegisteredClasses() { return hostApi.classes; }

const ImageSourceClass* FindRegisteredClass(const String& className) {
    for (const ImageSourceClass& c : hostApi.classes)
        if (c.className == className) return &c;
    return nullptr;
}

ImageSource* CreateSourceOfClass(const String& className, XElement* data) {
    const ImageSourceClass* sourceClass = FindRegisteredClass(className);
    if (!sourceClass) {
        AppWarning(u"no image source class \"%s\" is registered", className.Array());
        return nullptr;
    }
    ImageSource* source = sourceClass->create(data);
    if (!source) AppWarning(u"the \"%s\" class created no source", className.Array());
    return source;
}

void ClearRegisteredClasses() { hostApi.classes.clear(); }
