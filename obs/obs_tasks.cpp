// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/obs_tasks.h"

#include <obs.h>

#include <mutex>

namespace {

void RefreshProperties(void* param) {
    obs_weak_source_t* weak = static_cast<obs_weak_source_t*>(param);
    if (obs_source_t* source = obs_weak_source_get_source(weak)) {
        obs_source_update_properties(source);
        obs_source_release(source);
    }
    obs_weak_source_release(weak);
}

std::mutex queueing;
bool allowedNow = false;

}  // namespace

bool OnObsTaskThread() {
    return obs_in_task_thread(OBS_TASK_GRAPHICS) || obs_in_task_thread(OBS_TASK_UI) ||
           obs_in_task_thread(OBS_TASK_AUDIO) || obs_in_task_thread(OBS_TASK_DESTROY);
}

bool QueueUiTask(void (*task)(void* param), void* param) {
    const std::lock_guard lock(queueing);
    if (!allowedNow) return false;
    obs_queue_task(OBS_TASK_UI, task, param, false);
    return true;
}

void AllowUiTasks(bool allowed) {
    const std::lock_guard lock(queueing);
    allowedNow = allowed;
}

void RefreshPropertiesLater(obs_weak_source_t* source) {
    obs_weak_source_addref(source);
    if (!QueueUiTask(RefreshProperties, source)) obs_weak_source_release(source);
}

void ReleaseWeakSource(obs_weak_source_t* source) { obs_weak_source_release(source); }

std::string WeakSourceName(obs_weak_source_t* source) {
    obs_source_t* strong = obs_weak_source_get_source(source);
    const char* name = strong ? obs_source_get_name(strong) : nullptr;
    std::string current = name ? name : "";
    obs_source_release(strong);
    return current;
}
