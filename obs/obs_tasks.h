// SPDX-License-Identifier: GPL-2.0-or-later
// The libobs calls the core's side of a source needs, behind plain functions:
// the core's files include the host's headers, whose graphics header clashes
// with libobs's (both name a GS_BGRA), so they cannot include obs.h.
#pragma once

#include <string>

struct obs_weak_source;
typedef struct obs_weak_source obs_weak_source_t;

// Whether the calling thread is one of OBS's own that must never wait:
// its graphics thread (sources' ticks and renders, scripts' timers,
// obs-websocket's per-frame request batches), its UI thread (buttons,
// scripts' buttons), its audio thread or its destruction thread.
bool OnObsTaskThread();

// Runs `task(param)` later on OBS's UI thread (OBS_TASK_UI), without
// waiting; false, with nothing queued, while tasks are not allowed (the
// caller keeps `param` then).
bool QueueUiTask(void (*task)(void* param), void* param);
// Allowed from the module's load to its unload. libobs frees its task
// queues in its shut-down, which goes on after the unload, while the core
// thread may still run (a settings form that closes late, a tick queued
// behind it), so nothing is queued after it. Returns once no queueing is
// under way.
void AllowUiTasks(bool allowed);

// Later, on OBS's UI thread: the properties view of the source, if it is
// still there, is built again, so that it shows its settings as they are
// then. Takes a weak reference of its own.
void RefreshPropertiesLater(obs_weak_source_t* source);

void ReleaseWeakSource(obs_weak_source_t* source);
// The source's name now (sources can be renamed); empty once it is gone.
std::string WeakSourceName(obs_weak_source_t* source);
