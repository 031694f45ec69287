// SPDX-License-Identifier: GPL-2.0-or-later
// The source "morvik_thanks_image" as OBS Studio sees it: its
// obs_source_info, each callback handing on to obs/thanks_source.h.
#pragma once

#include <memory>

class CoreThread;

// Registers the source; every source created from then on runs its core
// calls on `core`.
void RegisterThanksSource(std::shared_ptr<CoreThread> core);
