// SPDX-License-Identifier: GPL-2.0-or-later
// The core thread's side of one thanks source in OBS Studio: the plug-in's
// own MorvikThanksImage, its settings (the core's copy, obs/settings_mirror.h)
// and the source's element as the configure callback expects it. Every
// method runs on the core thread (obs/core_thread.h) unless it says
// otherwise; obs/thanks_source.h queues them there.
#pragma once

#include "host/host_string.h"
#include "obs/settings_mirror.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

class MorvikThanksImage;
enum class ThanksControl;
class ObsDataElement;
struct obs_weak_source;
typedef struct obs_weak_source obs_weak_source_t;

class SourceCore {
public:
    // Any thread. `settings` are the source's own in OBS; `source` is a weak
    // reference to the source, which this object takes over (for refreshing
    // its properties).
    SourceCore(obs_data_t* settings, obs_weak_source_t* source, std::string name);
    ~SourceCore();
    SourceCore(const SourceCore&) = delete;
    SourceCore& operator=(const SourceCore&) = delete;

    SettingsMirror& Mirror() { return mirror_; }

    // The image made from the settings OBS had at create.
    void Create(SettingsMirror::Snapshot snapshot);
    void Destroy();
    // OBS's settings changed: the style and the blocked words are loaded
    // again and drawn at once, ready for the next frame; a changed face,
    // size, bold or italic measures the base size again (the size the source
    // is drawn at stays its texture's); and a source with a channel sends the
    // logic assembly the new settings ("ASCII" first while "usingASCII" is
    // 1), unless they are the ones it sent last.
    void Adopt(SettingsMirror::Snapshot snapshot);
    // Pumps the core thread's message windows, then runs the per-frame
    // update.
    void Tick();
    // Pumps the core thread's message windows, then runs every source's
    // per-frame update: a text the logic assembly sends between frames is
    // drawn when it arrives, ready for the next frame, not at the next
    // frame's tick (which OBS may render before the core has drawn it).
    static void UpdateAfterMessages();
    // From now on what the logic assembly reports of a channel (a gift taken,
    // a thanks drawn) goes to obs-websocket clients as the vendor's events,
    // with the name of the channel's source.
    static void ForwardChannelEvents();
    // Scene begin (the measured base size is loaded at once) and scene end.
    void BeginScene();
    void EndScene();
    // Runs the logic assembly's form, unless the source was removed before
    // its turn came; on acceptance the source takes the base size measured
    // for the new font. Then OBS's properties view of the source is
    // refreshed, on OBS's UI thread, if the source is still there.
    void Configure();
    // Any thread: the number that names this source's settings form (see
    // obs/module_runtime.h).
    int FormToken() const { return formToken_; }

    // A streamer's control by name (channel/thanks_controls.h): the answer,
    // a JSON object; `argument` as RunThanksControl's. A pause or resume
    // refreshes OBS's properties view, whose button says which comes next.
    std::string Control(const std::string& action, const std::string& argument);

    // Any thread: the state the logic assembly last reported for this
    // source (the answer to "state", or the state a control's answer
    // carried), with "age_ms", how long ago; for callers that must not
    // wait for the core. While somebody asks, the core asks the assembly
    // again every kStateRefresh.
    std::string ReportedState();
    static constexpr std::chrono::milliseconds kStateRefresh{500};

    // Graphics thread, with the host's drawing lock held: the image to draw
    // (null before Create and after Destroy).
    MorvikThanksImage* ImageForDrawing() const { return image_; }

    // Set by the OBS side, reset here: at most one tick queued, and at most
    // one form open, at a time.
    std::atomic<bool> tickQueued{false};
    std::atomic<bool> formOpen{false};
    // Set by the OBS side when OBS destroys the source: its form, queued or
    // under way, is no longer anybody's, and nothing of it goes back to OBS.
    std::atomic<bool> removed{false};
    // Whether the logic assembly's last answer said the thanks are paused.
    std::atomic<bool> paused{false};
    // Controls queued by OBS's own threads and not yet run.
    std::atomic<int> queuedControls{0};

private:
    // The per-frame update of the image, and the settings it wrote.
    void Update();
    // What the core wrote into the settings goes back to OBS's.
    void SendWrites();
    // Keeps what `control`'s answer says of the state.
    void NoteState(ThanksControl control, const std::string& answer);
    // Asks the assembly for the state again when somebody has asked for it
    // lately, or the gift activity page is open, and it is older than
    // kStateRefresh.
    void RefreshReportedState();
    // The source's name now (OBS's sources can be renamed).
    std::string CurrentName() const;

    std::unique_ptr<ObsDataElement> root_;  // the source's element: "data" and, on acceptance, "cx"/"cy"
    ObsDataElement* settings_ = nullptr;    // root_'s "data", the core's copy of the settings
    MorvikThanksImage* image_ = nullptr;    // changed under the host's drawing lock
    SettingsMirror mirror_;
    obs_weak_source_t* weakSource_;
    String lastSettingsMessage_;
    const int formToken_;

    using Clock = std::chrono::steady_clock;
    std::mutex stateMutex_;  // guards the three below
    nlohmann::json reportedState_;  // null until the first report
    Clock::time_point reportedAt_;
    Clock::time_point stateAskedAt_;
};
