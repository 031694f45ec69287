#include "obs/thanks_source.h"

#include "obs/core_thread.h"
#include "obs/obs_settings_element.h"
#include "platform/message_window.h"
#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"

#include <mutex>
#include <utility>

namespace {

// Held by Render on the graphics thread and by every core job that changes
// what Render reads (the texture, the base size). The form is not run under
// it, so the source keeps rendering while the form is open.
std::mutex drawLock;

}  // namespace

ThanksSource::ThanksSource(std::shared_ptr<CoreThread> core, obs_data_t* settings, const char* name)
    : core_(std::move(core)) {
    obs_data_t* root = obs_data_create();
    obs_data_set_obj(root, "data", settings);
    element_ = std::make_unique<ObsDataElement>(root, name ? name : "");
    obs_data_release(root);
    core_->Run([this] {
        std::lock_guard lock(drawLock);
        image_ = CreateThanksSource(element_->GetElement(u"data"));
    });
}

ThanksSource::~ThanksSource() {
    core_->Run([this] {
        std::lock_guard lock(drawLock);
        delete image_;
        image_ = nullptr;
    });
}

void ThanksSource::Update() {
    core_->Run([this] {
        std::lock_guard lock(drawLock);
        if (image_) image_->UpdateSettings();
    });
}

bool ThanksSource::Configure() {
    bool accepted = false;
    core_->Run([this, &accepted] {
        accepted = ConfigureTextSource(element_.get(), false);
        if (!accepted) return;
        // The form stored the base size, which "cx"/"cy" repeat: reloading
        // the settings makes it the source's size.
        std::lock_guard lock(drawLock);
        if (image_) image_->UpdateSettings();
    });
    return accepted;
}

void ThanksSource::Tick() {
    if (tickQueued_.exchange(true)) return;
    core_->Post([this] {
        tickQueued_ = false;
        PumpMessages();
        std::lock_guard lock(drawLock);
        if (image_) image_->Preprocess();
    });
}

void ThanksSource::Activate() {
    core_->Post([this] {
        std::lock_guard lock(drawLock);
        if (image_) image_->BeginScene();
    });
}

void ThanksSource::Deactivate() {
    core_->Post([this] {
        std::lock_guard lock(drawLock);
        if (image_) image_->EndScene();
    });
}

void ThanksSource::Render() {
    std::lock_guard lock(drawLock);
    if (image_) image_->Render(Vect2{0.0f, 0.0f}, image_->GetSize());
}

uint32_t ThanksSource::Width() {
    std::lock_guard lock(drawLock);
    return image_ ? static_cast<uint32_t>(image_->GetSize().x) : 0;
}

uint32_t ThanksSource::Height() {
    std::lock_guard lock(drawLock);
    return image_ ? static_cast<uint32_t>(image_->GetSize().y) : 0;
}
