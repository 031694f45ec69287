// SPDX-License-Identifier: GPL-2.0-or-later
// What blocked words cost the thanks source: its UpdateTexture for a
// 60-character thanks at 56 px with 2,000 entries against the same source
// without them, the text changing every frame and unchanged; the two are
// timed frame by frame in turn within one benchmark, in the thread's CPU
// time, so that the ratio is not skewed by what else the machine does. Also the list's load and the
// masking alone, with and without matches.
#include "channel/process_state.h"
#include "host/scene_document.h"
#include "source/blocked_words.h"
#include "source/morvik_thanks_image.h"
#include "tests/render/render_test_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <time.h>

namespace {

// 2,000 entries as a streamer's list has them: Latin words of 4 to 10
// letters and Chinese ones of 2 to 4 characters. None is in the thanks, so
// that both sources draw the same text and the difference is the filter's.
std::u16string BlockedList(int entries = 2000) {
    std::mt19937 random(28);
    std::u16string list;
    for (int i = 0; i < entries; ++i) {
        const bool latin = i % 2 == 0;
        const int length = latin ? 4 + static_cast<int>(random() % 7) : 2 + static_cast<int>(random() % 3);
        for (int k = 0; k < length; ++k)
            list.push_back(latin ? static_cast<char16_t>(u'a' + random() % 26)
                                 : static_cast<char16_t>(0x4E00 + random() % 0x51A6));
        list += u"\n";
    }
    return list;
}

// Sixty characters, the last of which changes from frame to frame.
constexpr char16_t kThanksText[] = u"感谢Alice和小明同学赠送的3个超级火箭 连击x3，谢谢老板！祝直播间的朋友们天天开心 Bob 也送了10朵玫瑰花 0";
static_assert(std::size(kThanksText) - 1 == 60);
const std::u16string kThanks = kThanksText;

String FrameText(int64_t frame) {
    std::u16string text = kThanks;
    text.back() = static_cast<char16_t>(u'0' + frame % 10);
    return String(text);
}

struct ThreadCpuClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadCpuClock, duration>;
    static time_point now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
    }
};

// A thanks source at 56 px in the face the source falls back to.
class BenchSource {
public:
    explicit BenchSource(const std::u16string& blockedWords) {
        XElement* settings = scene_.Root()->CreateElement(u"data");
        settings->SetString(u"font", u"Arial");
        settings->SetInt(u"fontSize", 56);
        settings->SetString(u"blocked_words", blockedWords.c_str());
        source_.reset(static_cast<MorvikThanksImage*>(CreateThanksSource(settings)));
    }
    void Draw(const String& text) {
        displayText = text;
        source_->UpdateTexture();
    }

private:
    SceneDocument scene_;
    std::unique_ptr<MorvikThanksImage> source_;
};

void BlockedWordsAgainstNone(benchmark::State& state, bool changing) {
    if (BlockedWords(BlockedList()).Mask(kThanks) != kThanks) {
        state.SkipWithError("the list masks part of the thanks: the two sources would draw different texts");
        return;
    }
    ScopedGraphics scoped;
    BenchSource filtered(BlockedList()), plain(u"");
    for (int warm = 0; warm < 20; ++warm) {
        filtered.Draw(FrameText(warm));
        plain.Draw(FrameText(warm));
    }
    // The thread's CPU time: on a shared machine, time the thread spent
    // switched out would land on whichever source was drawing.
    using Clock = ThreadCpuClock;
    Clock::duration filteredTime{}, plainTime{};
    const String unchanged = FrameText(0);
    // An unchanged frame takes less than reading the clock: those are timed
    // a thousand at a time.
    const int framesTimed = changing ? 1 : 1000;
    int64_t frame = 0, turn = 0;
    for (auto _ : state) {
        const String text = changing ? FrameText(++frame) : unchanged;
        // Each goes first every other turn, so that neither pays more often
        // for what the other left in the caches.
        const bool filteredFirst = ++turn % 2 == 0;
        BenchSource& first = filteredFirst ? filtered : plain;
        BenchSource& second = filteredFirst ? plain : filtered;
        const auto start = Clock::now();
        for (int i = 0; i < framesTimed; ++i) first.Draw(text);
        const auto middle = Clock::now();
        for (int i = 0; i < framesTimed; ++i) second.Draw(text);
        const auto end = Clock::now();
        (filteredFirst ? filteredTime : plainTime) += middle - start;
        (filteredFirst ? plainTime : filteredTime) += end - middle;
        benchmark::ClobberMemory();
    }
    const double frames = static_cast<double>(state.iterations()) * framesTimed;
    const double filteredUs = std::chrono::duration<double, std::micro>(filteredTime).count() / frames;
    const double plainUs = std::chrono::duration<double, std::micro>(plainTime).count() / frames;
    state.counters["filtered_us"] = filteredUs;
    state.counters["plain_us"] = plainUs;
    state.counters["ratio"] = filteredUs / plainUs;
}

void BM_BlockedWordsLoad2000(benchmark::State& state) {
    const std::u16string list = BlockedList();
    for (auto _ : state) {
        BlockedWords words(list);
        benchmark::DoNotOptimize(words.EntryCount());
    }
}
BENCHMARK(BM_BlockedWordsLoad2000)->Unit(benchmark::kMillisecond);

// The masking alone, each text new to it, its characters not.
void BM_BlockedWordsMask60Characters(benchmark::State& state) {
    const BlockedWords words(BlockedList());
    int64_t frame = 0;
    for (auto _ : state) benchmark::DoNotOptimize(words.Mask(FrameText(++frame).Text()));
}
BENCHMARK(BM_BlockedWordsMask60Characters)->Unit(benchmark::kMicrosecond);

// The same with two entries that the thanks holds ("老板" and "Bob"), so
// that each text is masked twice: what a match costs beyond the search.
void BM_BlockedWordsMask60CharactersTwoMatches(benchmark::State& state) {
    const BlockedWords words(u"老板\nbob\n" + BlockedList(1998));
    if (words.Mask(kThanks) == kThanks) {
        state.SkipWithError("the entries added are not in the thanks: nothing is masked");
        return;
    }
    int64_t frame = 0;
    for (auto _ : state) benchmark::DoNotOptimize(words.Mask(FrameText(++frame).Text()));
}
BENCHMARK(BM_BlockedWordsMask60CharactersTwoMatches)->Unit(benchmark::kMicrosecond);

// The same for a text of 60 characters the matcher has not seen before
// (ideographs in turn, none repeated within the run): each is folded with
// ICU first.
void BM_BlockedWordsMask60NewCharacters(benchmark::State& state) {
    const BlockedWords words(BlockedList());
    char16_t next = 0x4E00;
    for (auto _ : state) {
        std::u16string text;
        for (int i = 0; i < 60; ++i) {
            text.push_back(next);
            next = next == 0x9FA5 ? 0x4E00 : next + 1;
        }
        benchmark::DoNotOptimize(words.Mask(text));
    }
}
BENCHMARK(BM_BlockedWordsMask60NewCharacters)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_CAPTURE(BlockedWordsAgainstNone, thanks60_56_2000_entries_changing, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BlockedWordsAgainstNone, thanks60_56_2000_entries_unchanged, false)->Unit(benchmark::kMicrosecond);
