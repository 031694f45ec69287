// One thanks source inside OBS Studio, on the core's side: holds the
// plug-in's own MorvikThanksImage and runs every call into it on the core
// thread (obs/core_thread.h). OBS's callbacks (obs/obs_module.cpp) call these
// from whichever thread OBS uses.
#pragma once

#include <obs-data.h>

#include <atomic>
#include <cstdint>
#include <memory>

class CoreThread;
class ImageSource;
class ObsDataElement;

class ThanksSource {
public:
    // `settings` are the source's own, kept by reference: what the plug-in
    // writes into them is OBS's settings, saved with the scene collection.
    // The source shares the core thread: libobs may destroy a source after
    // the module's unload (its destruction queue runs late in shut-down), and
    // the thread must still be there to run that destruction.
    ThanksSource(std::shared_ptr<CoreThread> core, obs_data_t* settings, const char* name);
    ~ThanksSource();
    ThanksSource(const ThanksSource&) = delete;
    ThanksSource& operator=(const ThanksSource&) = delete;

    bool HasImage() const { return image_ != nullptr; }

    // Waited for: UpdateSettings and the form (the latter returns whether
    // the form was accepted).
    void Update();
    bool Configure();
    // Queued, never waited for, so that the graphics thread is never held up
    // by the core thread (which may be busy with the form): pump the message
    // windows then Preprocess (at most one queued at a time), BeginScene,
    // EndScene.
    void Tick();
    void Activate();
    void Deactivate();

    // On the graphics thread, the graphics context held.
    void Render();
    uint32_t Width();
    uint32_t Height();

private:
    std::shared_ptr<CoreThread> core_;
    // The source's element as the configure callback expects it: "cx"/"cy"
    // beside the settings, which are OBS's own obs_data_t as "data".
    std::unique_ptr<ObsDataElement> element_;
    ImageSource* image_ = nullptr;
    std::atomic<bool> tickQueued_{false};
};
