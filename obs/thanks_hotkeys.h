// SPDX-License-Identifier: GPL-2.0-or-later
// A thanks source's hotkeys (Settings > Hotkeys, saved with the source):
// morvik_thanks.test, .skip, .pause, .resume and .clear, each running its
// control without waiting, on OBS's hotkey thread.
#pragma once

#include <cstddef>
#include <vector>

class ThanksSource;
struct obs_source;
typedef struct obs_source obs_source_t;

class ThanksHotkeys {
public:
    // Registers them on `source` for `target`, which must outlive this
    // object.
    ThanksHotkeys(obs_source_t* source, ThanksSource* target);
    // Unregisters them: once it returns no hotkey reaches the target.
    ~ThanksHotkeys();
    ThanksHotkeys(const ThanksHotkeys&) = delete;
    ThanksHotkeys& operator=(const ThanksHotkeys&) = delete;

private:
    std::vector<size_t> ids_;
};
