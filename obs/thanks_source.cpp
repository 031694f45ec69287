// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/thanks_source.h"

#include "channel/control_request.h"
#include "channel/thanks_controls.h"
#include "host/graphics.h"
#include "obs/activity_page.h"
#include "obs/core_thread.h"
#include "obs/module_runtime.h"
#include "obs/obs_tasks.h"
#include "obs/shared_deadline.h"
#include "obs/source_core.h"
#include "obs/thanks_hotkeys.h"
#include "obs/thanks_properties.h"
#include "source/morvik_thanks_image.h"

#include <nlohmann/json.hpp>
#include <util/base.h>

#include <mutex>
#include <utility>

namespace {

bool OnConfigure(obs_properties_t*, obs_property_t*, void* data) {
    static_cast<ThanksSource*>(data)->Configure();
    return false;
}

// What became of the form of the source `name`, removed with its form
// queued or under way.
void ReportFormClosing(FormClosing closing, const std::string& name) {
    switch (closing) {
    case FormClosing::Closing:
        blog(LOG_INFO, "[morvik-thanks] the settings form of \"%s\" was open: it is closed as Cancel closes it",
             name.c_str());
        break;
    case FormClosing::ClosesWhenShown:
        blog(LOG_INFO, "[morvik-thanks] the settings form of \"%s\" was still opening: it is closed as soon as it shows",
             name.c_str());
        break;
    case FormClosing::NotUnderWay:
        blog(LOG_INFO, "[morvik-thanks] the settings form of \"%s\" had not begun to open: it will not open",
             name.c_str());
        break;
    case FormClosing::Unreachable:
        blog(LOG_WARNING, "[morvik-thanks] the settings form of \"%s\" could not be closed", name.c_str());
        break;
    }
}

}  // namespace

ThanksSource::ThanksSource(std::shared_ptr<CoreThread> core, obs_data_t* settings, obs_source_t* source,
                           obs_weak_source_t* weakSource, std::string name)
    : core_(std::move(core)), state_(std::make_shared<SourceCore>(settings, weakSource, name)), settings_(settings),
      name_(std::move(name)) {
    core_->Post("create a source", [state = state_, snapshot = state_->Mirror().Take()] { state->Create(snapshot); });
    hotkeys_ = std::make_unique<ThanksHotkeys>(source, this);
    ActivitySourceAdded(state_->FormToken(), name_);
}

ThanksSource::~ThanksSource() {
    // No hotkey reaches this object from here on.
    hotkeys_.reset();
    ActivitySourceRemoved(state_->FormToken());
    // Its form, queued or under way, is nobody's from here on: a queued one
    // never opens, and nothing an open one sets goes back to OBS.
    state_->removed = true;
    SharedDeadline& deadline = CoreWaitDeadline();
    deadline.Begin(kDestroyLimit);
    const bool formAsked = state_->formOpen;
    const FormClosing closing = formAsked ? CloseSettingsForm(state_->FormToken()) : FormClosing::NotUnderWay;
    if (formAsked) ReportFormClosing(closing, name_);
    // Nobody waits for a core that a form holds.
    const bool formHoldsCore = SettingsFormHoldsCore(closing);
    if (formHoldsCore)
        deadline.Expire();
    else if (closing == FormClosing::Closing)
        // Sources removed while this form was open were let go of without
        // waiting; now that it closes, this one waits for the core again.
        deadline.Renew(kDestroyLimit);
    if (core_->RunWithin(
            "destroy a source",
            [state = state_] {
                state->Destroy();
                CoreWaitDeadline().End();
            },
            deadline.Left()))
        return;
    if (formHoldsCore)
        blog(LOG_INFO, "[morvik-thanks] a settings form holds the logic assembly: the source \"%s\" is let go of when "
                       "the form closes",
             name_.c_str());
    else
        blog(LOG_WARNING,
             "[morvik-thanks] the logic assembly is busy: the source \"%s\" is let go of when it returns",
             name_.c_str());
}

namespace {

struct PendingUpdate {
    std::shared_ptr<CoreThread> core;
    std::shared_ptr<SourceCore> state;
};

// On OBS's UI thread, which owns the settings: the copy is taken there and
// handed to the core.
void TakeUpdate(void* param) {
    const std::unique_ptr<PendingUpdate> update(static_cast<PendingUpdate*>(param));
    update->core->Post("take new settings", [state = update->state, snapshot = update->state->Mirror().Take()] { state->Adopt(snapshot); });
}

}  // namespace

void ThanksSource::Update() {
    auto update = std::make_unique<PendingUpdate>(PendingUpdate{core_, state_});
    if (QueueUiTask(TakeUpdate, update.get())) update.release();
}

void ThanksSource::Tick() {
    if (state_->tickQueued.exchange(true)) return;
    core_->Post("a frame's update", [state = state_] { state->Tick(); });
}

void ThanksSource::Activate() {
    core_->Post("scene begin", [state = state_] { state->BeginScene(); });
}

void ThanksSource::Deactivate() {
    core_->Post("scene end", [state = state_] { state->EndScene(); });
}

void ThanksSource::Configure() {
    if (state_->formOpen.exchange(true)) {
        blog(LOG_INFO, "[morvik-thanks] the settings form of \"%s\" is already open", name_.c_str());
        return;
    }
    core_->Post("the settings form", [state = state_] { state->Configure(); });
}

// In OBS the host's size for the source is the base size, so the texture is
// drawn at its own pixel size, and that is the size the source reports: OBS's
// selection box, filters, projectors, screenshots, crop and bounding boxes
// work on exactly what is drawn, the whole text.
namespace {

constexpr const char* kBusy = "the logic assembly is busy (a settings form is open, or a command is running): "
                              "nothing was done; try again later";

// A control's answer, handed from the core thread to the caller that waits
// for it, or to OBS's log once that caller has stopped waiting.
struct AnswerHandOver {
    std::mutex mutex;
    std::string answer;
    bool answered = false;
    bool callerGone = false;
};

}  // namespace

std::string ThanksSource::Control(const ControlRequest& request, std::chrono::milliseconds limit) {
    const bool mustNotWait = OnObsTaskThread();
    if (request.control == ThanksControl::State && (mustNotWait || core_->Busy())) return state_->ReportedState();
    if (mustNotWait) {
        if (!ControlLater(request.action, request.argument))
            return ControlError(std::to_string(kMaxQueuedControls) +
                                " controls already wait for the logic assembly: this one was not queued");
        return nlohmann::json{{"queued", true}, {"action", request.action}}.dump();
    }
    if (core_->Busy()) return ControlError(kBusy);

    auto handOver = std::make_shared<AnswerHandOver>();
    const CoreThread::Attempt attempt = core_->TryWithin(
        "a control", [state = state_, request, handOver, name = name_] {
            std::string answer = state->Control(request.action, request.argument);
            std::lock_guard lock(handOver->mutex);
            if (handOver->callerGone)
                blog(LOG_INFO, "[morvik-thanks] \"%s\" %s, answered after its caller stopped waiting: %s", name.c_str(),
                     request.action.c_str(), answer.c_str());
            handOver->answer = std::move(answer);
            handOver->answered = true;
        },
        limit);
    std::lock_guard lock(handOver->mutex);
    if (handOver->answered) return handOver->answer;
    if (attempt == CoreThread::Attempt::Cancelled) return ControlError(kBusy);
    handOver->callerGone = true;
    return ControlError("the logic assembly is busy: the " + request.action +
                        " control has started and goes on; its answer goes to OBS's log");
}

bool ThanksSource::ControlLater(const std::string& action, const std::string& argument) {
    if (state_->queuedControls.fetch_add(1) >= kMaxQueuedControls) {
        --state_->queuedControls;
        blog(LOG_WARNING, "[morvik-thanks] \"%s\" %s: %d controls already wait for the logic assembly; not queued",
             name_.c_str(), action.c_str(), kMaxQueuedControls);
        return false;
    }
    core_->Post("a queued control", [state = state_, action, argument, name = name_] {
        --state->queuedControls;
        blog(LOG_INFO, "[morvik-thanks] \"%s\" %s: %s", name.c_str(), action.c_str(),
             state->Control(action, argument).c_str());
    });
    return true;
}

bool ThanksSource::Paused() const { return state_->paused; }

void ThanksSource::Render() {
    const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
    if (MorvikThanksImage* image = state_->ImageForDrawing()) image->Render(Vect2{0.0f, 0.0f}, image->GetSize());
}

uint32_t ThanksSource::Width() {
    const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
    const MorvikThanksImage* image = state_->ImageForDrawing();
    return image ? static_cast<uint32_t>(image->DrawnSize().x) : 0;
}

uint32_t ThanksSource::Height() {
    const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
    const MorvikThanksImage* image = state_->ImageForDrawing();
    return image ? static_cast<uint32_t>(image->DrawnSize().y) : 0;
}

obs_properties_t* ThanksSource::Properties() {
    return GetThanksProperties(settings_, OnConfigure, this);
}
