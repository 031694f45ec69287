// SPDX-License-Identifier: GPL-2.0-or-later
// The stress host's report: one "key: value" line per figure on stdout, and
// the checks that decide its exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct MemorySample {
    std::optional<int64_t> residentKb;  // VmRSS; none when unreadable
    int64_t heapKb = 0;                 // the C heap in use
    std::optional<int64_t> threads;     // threads of the process
};

class Figures {
public:
    // Prints "key: value".
    void Figure(const std::string& key, const std::string& value);
    void Figure(const std::string& key, int64_t value) { Figure(key, std::to_string(value)); }
    // Prints "key: ok", or "key: FAILED" with what went wrong, and remembers
    // the failure.
    void Check(const std::string& key, bool ok, const std::string& problem = "");
    // The memory at two points, "rss <when>", "heap in use <when>" and
    // "threads <when>", and
    // whether the resident set grew by more than `flagPercent` between them.
    // Growth is reported, not failed: a few allocator pages more after a long
    // run are no fault.
    void MemoryGrowth(const std::string& startWhen, const std::optional<MemorySample>& start,
                      const std::string& endWhen, const MemorySample& end, double flagPercent = 10.0);

    bool Failed() const { return failed_; }

private:
    bool failed_ = false;
};

// A number field of /proc/self/status ("VmRSS" in kB, "Threads"); none when
// unreadable.
std::optional<int64_t> ProcessStatusField(const std::string& name);
inline std::optional<int64_t> ResidentKilobytes() { return ProcessStatusField("VmRSS"); }

// What the C heap has handed out and not taken back, in kB (mallinfo2). Set
// beside the resident set it tells growth of native allocations (the
// plug-ins, the host, the runtime's own malloc) from growth elsewhere (the
// managed heap, thread stacks, mapped files).
int64_t HeapInUseKilobytes();

MemorySample SampleMemory();
