#include "host/host_control.h"
#include "host/plugin_api.h"

namespace {

class HostPluginAPI final : public PluginAPI {
public:
    void RegisterImageSourceClass(CTSTR className, CTSTR displayName, OBSCREATEPROC create,
                                  OBSCONFIGPROC configure) override {
        classes.push_back({String(className), String(displayName), create, configure});
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

void ClearRegisteredClasses() { hostApi.classes.clear(); }
