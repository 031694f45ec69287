#include "obs/obs_tasks.h"

#include <obs.h>

namespace {

void RefreshProperties(void* param) {
    obs_weak_source_t* weak = static_cast<obs_weak_source_t*>(param);
    if (obs_source_t* source = obs_weak_source_get_source(weak)) {
        obs_source_update_properties(source);
        obs_source_release(source);
    }
    obs_weak_source_release(weak);
}

}  // namespace

bool OnObsTaskThread() {
    return obs_in_task_thread(OBS_TASK_GRAPHICS) || obs_in_task_thread(OBS_TASK_UI) ||
           obs_in_task_thread(OBS_TASK_AUDIO) || obs_in_task_thread(OBS_TASK_DESTROY);
}

void QueueUiTask(void (*task)(void* param), void* param) { obs_queue_task(OBS_TASK_UI, task, param, false); }

void RefreshPropertiesLater(obs_weak_source_t* source) {
    obs_weak_source_addref(source);
    QueueUiTask(RefreshProperties, source);
}

void ReleaseWeakSource(obs_weak_source_t* source) { obs_weak_source_release(source); }
