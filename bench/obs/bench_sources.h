// SPDX-License-Identifier: GPL-2.0-or-later
// The sources a benchmark case shows: N thanks sources or N of OBS's own
// FreeType 2 text sources, with the same text, face, size and outline, laid
// out on the canvas in two columns of sixteen lines, in a scene that is the
// output. A new text reaches a thanks source as the logic assembly sends it
// (SendMessageW to its message window) and a text source as OBS's Properties
// window changes it (obs_source_update).
#pragma once

#include <obs.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

enum class SourceKind { Thanks, FreeTypeText };

// The thanks text for gift number `n`, in both encodings the two kinds take.
struct GiftText {
    std::string utf8;
    std::u16string utf16;
};
GiftText GiftTextFor(uint64_t n);

class BenchSources {
public:
    // The logic assembly writes its journal to `journalPath`: the thanks
    // sources' window numbers are read from its "init:" lines.
    BenchSources(SourceKind kind, int count, std::string journalPath);
    ~BenchSources();
    BenchSources(const BenchSources&) = delete;
    BenchSources& operator=(const BenchSources&) = delete;

    // Waits until every source can take texts (a thanks source once its
    // channel is announced); empty on success, else what is missing.
    std::string WaitReady();
    int Count() const { return static_cast<int>(sources_.size()); }

    // Gives source `index` a new text; for a thanks source, returns when its
    // window has taken it.
    void SetText(int index, const GiftText& text);

    // From the next frame on, every source is given a new text each frame,
    // each from a thread of its own (as gifts reach each channel); until
    // StopChanging. `nextFrame` blocks until the next frame is out.
    void StartChanging(std::function<void()> nextFrame);
    // The texts given since StartChanging.
    uint64_t StopChanging();

private:
    SourceKind kind_;
    std::string journalPath_;
    size_t journalStart_;  // the journal's lines before the sources were shown
    obs_scene_t* scene_;
    std::vector<obs_source_t*> sources_;
    std::vector<intptr_t> windows_;
    std::vector<std::thread> changers_;
    std::atomic<bool> changing_{false};
    std::atomic<uint64_t> textsGiven_{0};
};
