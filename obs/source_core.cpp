// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/source_core.h"

#include "bridge/runtime_host.h"
#include "bridge/settings_message.h"
#include "channel/channel_events.h"
#include "channel/process_state.h"
#include "channel/thanks_controls.h"
#include "host/graphics.h"
#include "obs/activity_page.h"
#include "obs/obs_settings_element.h"
#include "obs/module_runtime.h"
#include "obs/obs_tasks.h"
#include "obs/thanks_properties.h"
#include "obs/vendor_vocabulary.h"
#include "obs/websocket_vendor.h"
#include "platform/message_window.h"
#include "render/base_size.h"
#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"

#include <nlohmann/json.hpp>
#include <util/base.h>

#include <tuple>
#include <vector>

namespace {

// The settings the base size is measured from.
auto FontOf(const XElement* settings) {
    return std::make_tuple(settings->GetString(u"font", u"Arial"), settings->GetInt(u"fontSize", 48),
                           settings->GetInt(u"bold", 0) != 0, settings->GetInt(u"italic", 0) != 0);
}

// The sources between Create and Destroy; the core thread's own.
std::vector<SourceCore*>& LiveSources() {
    static std::vector<SourceCore*> live;
    return live;
}

}  // namespace

void SourceCore::ForwardChannelEvents() {
    SetChannelEventSink([](const XElement* settings, ChannelEvent event, const String& payload) {
        for (SourceCore* source : LiveSources()) {
            if (source->settings_ != settings) continue;
            const std::string text = payload.ToUtf8();
            if (event == ChannelEvent::GiftReceived) {
                EmitSourceEvent(source->weakSource_, kGiftReceivedEvent, text);
                ActivityGiftReceived(source->formToken_, source->CurrentName(), text);
            } else {
                EmitSourceEvent(source->weakSource_, kThanksShownEvent, text);
                ActivityThanksShown(source->formToken_, source->CurrentName(), text);
            }
        }
    });
}

std::string SourceCore::CurrentName() const {
    std::string current = WeakSourceName(weakSource_);
    return current.empty() ? root_->GetName().ToUtf8() : current;
}

namespace {

// Each source's form token, never kAnySettingsForm.
int NextFormToken() {
    static std::atomic<int> last{kAnySettingsForm};
    return ++last;
}

}  // namespace

SourceCore::SourceCore(obs_data_t* settings, obs_weak_source_t* source, std::string name)
    : mirror_(settings, GetThanksDefaults), weakSource_(source), formToken_(NextFormToken()) {
    obs_data_t* root = obs_data_create();
    root_ = std::make_unique<ObsDataElement>(root, std::move(name));
    obs_data_release(root);
}

SourceCore::~SourceCore() { ReleaseWeakSource(weakSource_); }

void SourceCore::Create(SettingsMirror::Snapshot snapshot) {
    mirror_.Adopt(std::move(snapshot), *root_);
    settings_ = static_cast<ObsDataElement*>(root_->GetElement(u"data"));
    settings_->RecordChanges();
    auto* image = static_cast<MorvikThanksImage*>(CreateThanksSource(settings_));
    if (!image) {
        blog(LOG_WARNING, "[morvik-thanks] no storage for the source \"%s\"", root_->GetName().ToUtf8().c_str());
        return;
    }
    {
        const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
        image_ = image;
    }
    LiveSources().push_back(this);
}

void SourceCore::Destroy() {
    std::erase(LiveSources(), this);
    MorvikThanksImage* image = image_;
    {
        const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
        image_ = nullptr;
    }
    std::unique_ptr<ImageSource>{image};
}

void SourceCore::Adopt(SettingsMirror::Snapshot snapshot) {
    if (!image_) return;
    const auto fontBefore = FontOf(settings_);
    mirror_.Adopt(std::move(snapshot), *root_);
    if (FontOf(settings_) != fontBefore) MeasureBaseSize(settings_, defaultHintText);
    image_->UpdateSettings();
    redrawPending = true;

    XElement* settings = settings_;
    const WindowHandle window = channelRegistry.FindWindowByInnerId(settings->GetString(u"innerId"), settings);
    if (window && RuntimeHostPresent()) {
        const String message = ComposeSettingsMessage(settings, window);
        if (!(message == lastSettingsMessage_)) {
            BuildSettingsMessage(settings, window);
            lastSettingsMessage_ = message;
        }
    }
    // Drawn now, not at the next frame's tick, which OBS may render before
    // the core has drawn it.
    Update();
}

void SourceCore::Tick() {
    tickQueued = false;
    PumpMessages();
    Update();
    RefreshReportedState();
}

void SourceCore::UpdateAfterMessages() {
    if (PumpMessages() == 0) return;
    for (SourceCore* source : LiveSources()) source->Update();
}

void SourceCore::Update() {
    if (image_) image_->Preprocess();
    SendWrites();
}

void SourceCore::BeginScene() {
    if (!image_) return;
    image_->BeginScene();
    // The base size scene begin measured holds from now on, as it would at
    // the settings' next load.
    image_->UpdateSettings();
    SendWrites();
}

void SourceCore::EndScene() {
    if (image_) image_->EndScene();
}

void SourceCore::Configure() {
    // Its turn begins before `removed` is read: a removal (or the module's
    // unload) either comes first and is seen here, or finds the form under
    // way and closes it.
    BeginSettingsForm(formToken_);
    const bool opens = image_ && !removed && !SettingsFormsRefused();
    if (opens && ConfigureTextSource(root_.get(), false)) image_->UpdateSettings();
    SettleClosedSettingsForm();
    formOpen = false;
    // The source or the module has gone: nothing goes back to OBS.
    if (removed || SettingsFormsRefused()) {
        const std::string name = root_->GetName().ToUtf8();
        const char* why = removed ? "the source was removed" : "the module is unloading";
        if (opens)
            blog(LOG_INFO, "[morvik-thanks] the settings form of \"%s\" has closed (%s)", name.c_str(), why);
        else
            blog(LOG_INFO, "[morvik-thanks] the settings form of \"%s\" was not opened (%s)", name.c_str(), why);
        return;
    }
    SendWrites();
    RefreshPropertiesLater(weakSource_);
}

std::string SourceCore::Control(const std::string& action, const std::string& argument) {
    const std::optional<ThanksControl> control = ThanksControlNamed(action);
    if (!control) return ControlError("unknown action \"" + action + "\"");
    if (!image_) return ControlError("the source is being removed");
    const std::string answer = RunThanksControl(settings_, *control, argument);
    NoteState(*control, answer);
    return answer;
}

void SourceCore::NoteState(ThanksControl control, const std::string& answer) {
    nlohmann::json parsed = nlohmann::json::parse(answer, nullptr, false);
    if (!parsed.is_object()) return;
    ActivityStateReported(formToken_, CurrentName(), parsed);
    if (parsed.contains("paused") && parsed["paused"].is_boolean()) {
        const bool wasPaused = paused.exchange(parsed["paused"].get<bool>());
        if (wasPaused != paused) RefreshPropertiesLater(weakSource_);
    }
    // The state, carried by every control's answer but a gift batch's; or
    // why there is none (no channel yet, no runtime), as "state" answered.
    if (!parsed.contains("received") && control != ThanksControl::State) return;
    parsed.erase("cleared");
    std::lock_guard lock(stateMutex_);
    reportedState_ = std::move(parsed);
    reportedAt_ = Clock::now();
}

void SourceCore::RefreshReportedState() {
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard lock(stateMutex_);
        const bool wanted = now - stateAskedAt_ < 10 * kStateRefresh || ActivityPageWatched();
        if (!wanted || (!reportedState_.is_null() && now - reportedAt_ < kStateRefresh)) return;
    }
    if (image_) NoteState(ThanksControl::State, RunThanksControl(settings_, ThanksControl::State));
}

std::string SourceCore::ReportedState() {
    std::lock_guard lock(stateMutex_);
    const Clock::time_point now = Clock::now();
    stateAskedAt_ = now;
    if (reportedState_.is_null())
        return ControlError("the thanks source has not reported its state yet: ask again in a moment");
    nlohmann::json state = reportedState_;
    state["age_ms"] = std::chrono::duration_cast<std::chrono::milliseconds>(now - reportedAt_).count();
    return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void SourceCore::SendWrites() {
    if (settings_) mirror_.SendWrites(*settings_);
}
