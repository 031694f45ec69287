// SPDX-License-Identifier: GPL-2.0-or-later
// One thanks source inside OBS Studio, as OBS's callbacks
// (obs/source_callbacks.cpp) see it. OBS calls it from its UI, graphics and
// destruction threads; everything that reaches the plug-in's core is queued
// as a job on the core thread (obs/core_thread.h, obs/source_core.h), so no
// OBS thread waits for the logic assembly: only the destruction waits, and
// only a bounded time. Drawing runs on the graphics thread under the host's
// drawing lock, which the core takes only to hand over finished pixels and
// sizes.
#pragma once

#include <obs-properties.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class CoreThread;
struct ControlRequest;
class SourceCore;
class ThanksHotkeys;
struct obs_source;
typedef struct obs_source obs_source_t;
struct obs_weak_source;
typedef struct obs_weak_source obs_weak_source_t;

class ThanksSource {
public:
    // The source shares the core thread: libobs may destroy a source after
    // the module's unload (its destruction queue runs late in shut-down), and
    // the thread must still be there to run that destruction.
    // `settings` are the source's own in OBS; `source` the source (its
    // hotkeys are registered on it); `weakSource` a weak reference to it,
    // taken over; `name` its name, for log lines.
    ThanksSource(std::shared_ptr<CoreThread> core, obs_data_t* settings, obs_source_t* source,
                 obs_weak_source_t* weakSource, std::string name);
    // Closes the source's settings form if it is opening or open, and keeps
    // a queued one from opening. Then waits for the core to let go of the
    // source, at most kDestroyLimit from the first of the waits the core is
    // behind on (obs/shared_deadline.h), and not at all while a settings
    // form holds the core; the core lets go of it afterwards.
    ~ThanksSource();
    ThanksSource(const ThanksSource&) = delete;
    ThanksSource& operator=(const ThanksSource&) = delete;

    static constexpr std::chrono::seconds kDestroyLimit{2};

    // Each queues its work and returns at once. OBS runs update on its
    // graphics thread while its UI thread may be writing the settings: the
    // core's copy of them is taken on the UI thread, in a task.
    void Update();
    void Tick();
    void Activate();
    void Deactivate();
    // The properties button, on OBS's UI thread: the form runs on the core
    // thread while OBS goes on; a press while it is open is only logged.
    void Configure();

    // The streamer's controls (channel/control_request.h), from the doors
    // that want an answer (obs-websocket, the scripts' procedure); never on
    // the core thread. No OBS thread waits: on OBS's own threads
    // (OnObsTaskThread) "state" is answered from the state last reported
    // (with "age_ms") and any other control is queued and answered
    // {"queued": true, "action": ...} at once, its answer going to OBS's
    // log. Elsewhere (obs-websocket's workers) the answer is waited for at
    // most `limit`; a control the core cannot start by then, or at all
    // while it is known busy, is refused {"error": "the logic assembly is
    // busy: ..."} and never runs ("state" is then answered as reported); one
    // that had started finishes, and its answer goes to OBS's log.
    std::string Control(const ControlRequest& request, std::chrono::milliseconds limit);
    // Queues a control whose answer goes to OBS's log (buttons, hotkeys);
    // false when kMaxQueuedControls already wait.
    // `argument` as ControlRequest's.
    bool ControlLater(const std::string& action, const std::string& argument = {});
    static constexpr int kMaxQueuedControls = 100;
    // Whether the thanks were paused, as the last answer said.
    bool Paused() const;

    // Graphics thread.
    void Render();
    uint32_t Width();
    uint32_t Height();

    // Its settings groups and the form's button (obs/thanks_properties.h);
    // the Controls group, whose buttons call this source, is added by the
    // caller (obs/thanks_controls.h).
    obs_properties_t* Properties();

private:
    std::shared_ptr<CoreThread> core_;
    std::shared_ptr<SourceCore> state_;
    obs_data_t* settings_;  // OBS's, which outlive this object
    std::string name_;
    std::unique_ptr<ThanksHotkeys> hotkeys_;
};
