// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in module itself, loaded and unloaded again and again in one host
// process with a source running each time, as a host does when the user
// reloads its plug-ins.
#include "host/OBSApi.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

struct Module {
    void* handle = nullptr;
    bool (*load)() = nullptr;
    void (*unload)() = nullptr;
};

Module Open(const char* path) {
    Module module;
    module.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module.handle) return module;
    module.load = reinterpret_cast<bool (*)()>(dlsym(module.handle, "LoadPlugin"));
    module.unload = reinterpret_cast<void (*)()>(dlsym(module.handle, "UnloadPlugin"));
    return module;
}

TEST(PluginReload, TenLoadsAndUnloadsWithARunningSourceEachTime) {
    SetLogToStderr(false);
    CairoGraphics graphics;
    ScopedGraphicsSystem scoped(&graphics);
    graphics.SetCanvasSize(640, 120);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        Module module = Open("./plugins/MorvikThanks.so");
        ASSERT_NE(module.handle, nullptr) << dlerror();
        ASSERT_TRUE(module.load && module.unload);
        ClearRegisteredClasses();
        ASSERT_TRUE(module.load());
        ASSERT_EQ(RegisteredClasses().size(), 1u);

        SceneDocument scene;
        XElement* data = scene.Root()->CreateElement(u"data");
        ImageSource* source = CreateSourceOfClass(RegisteredClasses()[0].className, data);
        ASSERT_NE(source, nullptr);
        source->BeginScene();
        const String innerId = data->GetString(u"innerId");
        EXPECT_FALSE(innerId.IsEmpty());
        PumpMessages();
        source->Preprocess();
        source->Render({0, 0}, source->GetSize());
        source->EndScene();
        delete source;

        module.unload();
        // No window of the plug-in outlives it: a late message finds nothing.
        EXPECT_EQ(SendMessageW(static_cast<intptr_t>(innerId.ToInt(10)), WM_CLOSE, 0, 0), 0);
        ClearRegisteredClasses();
        EXPECT_EQ(dlclose(module.handle), 0);
        EXPECT_EQ(dlopen("./plugins/MorvikThanks.so", RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module stayed loaded";
    }
    EXPECT_EQ(graphics.Counters().TexturesAlive(), 0u);
    EXPECT_GE(graphics.Counters().spritesDrawn, 10u);
}

}  // namespace
