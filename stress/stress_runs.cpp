// SPDX-License-Identifier: GPL-2.0-or-later
#include "stress/stress_runs.h"

#include "host/host_control.h"
#include "platform/message_window.h"
#include "scenehost/frame_loop.h"
#include "scenehost/session.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Command codes of the WM_COPYDATA blocks a logic assembly sends to a thanks
// source's window (the wire format is documented with that window's
// procedure): a thanks text to show, a line for the host log.
constexpr uint64_t kShowTextCommand = 1;
constexpr uint64_t kLogTextCommand = 200;

constexpr int kWarmUpFrames = 10;
constexpr int kFramesPerCycle = 5;
constexpr float kFrameTick = 1.0f / 30.0f;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Decimal(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Sends `text` as a WM_COPYDATA block, UTF-16 with its NUL counted, as a
// logic assembly does. From another thread this blocks until the window's
// thread has handled it.
void SendText(WindowHandle window, uint64_t command, const std::u16string& text) {
    COPYDATASTRUCT block{command, static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)),
                         const_cast<char16_t*>(text.c_str())};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&block));
}

// The window a source's channel was announced with, from the window number
// the plug-in keeps in the source's "innerId" setting; 0 when it has none.
WindowHandle SourceWindow(const SceneSource& source) {
    if (!source.data) return 0;
    const std::string text = source.data->GetString(u"innerId").ToUtf8();
    int32_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    // Sign-extended, as a caller passes a window number.
    return static_cast<WindowHandle>(number);
}

void ReportCycleProblem(int64_t cycle, const std::string& problem) {
    std::fprintf(stderr, "stresshost: cycle %lld: %s\n", static_cast<long long>(cycle), problem.c_str());
}

// The first of the scene's sources that has a message window, and that
// window; null and 0 when none has.
const SceneSource* FirstSourceWithWindow(const Scene& scene, WindowHandle& window) {
    for (const SceneSource& source : scene.sources)
        if ((window = SourceWindow(source))) return &source;
    return nullptr;
}

// The scene's sources, created and begun as a run begins them.
struct LiveScene {
    std::vector<SourcePtr> owned;
    std::vector<LiveSource> live;

    bool Begin(const Scene& scene, std::string& error) {
        for (const SceneSource& source : scene.sources) {
            SourcePtr created = CreateSource(source, error);
            if (!created) return false;
            owned.push_back(std::move(created));
        }
        for (size_t i = 0; i < owned.size(); ++i) {
            owned[i]->BeginScene();
            const SceneSource& source = scene.sources[i];
            live.push_back({owned[i].get(), source.position, source.size.value_or(owned[i]->GetSize())});
        }
        return true;
    }

    void End() {
        for (const SourcePtr& source : owned) source->EndScene();
        live.clear();
        owned.clear();
    }

    ~LiveScene() { End(); }
};

void RenderFrames(Session& session, const std::vector<LiveSource>& live, int count) {
    for (int i = 0; i < count; ++i) RenderFrame(session.canvas, session.scene.background, live, kFrameTick);
}

// Every texture the plug-ins made must be gone once their sources are.
void CheckTextures(Session& session, Figures& figures) {
    const GraphicsCounters& counters = session.canvas.Counters();
    figures.Figure("textures created", static_cast<int64_t>(counters.texturesCreated));
    figures.Check("textures all deleted", counters.TexturesAlive() == 0,
                  std::to_string(counters.TexturesAlive()) + " still alive");
}

// Saves the scene as a run does (atomically) and reads the file back: it must
// hold exactly the document in memory, and the same sources.
void SaveAndCheckScene(Session& session, const std::string& path, Figures& figures) {
    const SceneFileResult saved = session.document.Save(path);
    figures.Check("scene saved", saved.ok, saved.error);
    if (!saved.ok) return;
    SceneDocument reread;
    std::string problem;
    if (const SceneFileResult loaded = reread.Load(path); !loaded.ok) {
        problem = loaded.error;
    } else if (reread.Json() != session.document.Json()) {
        problem = "the file differs from the scene in memory";
    } else if (std::optional<Scene> scene = ReadScene(reread, path, problem); scene) {
        std::vector<std::string> before, after;
        for (const SceneSource& source : session.scene.sources) before.push_back(source.name);
        for (const SceneSource& source : scene->sources) after.push_back(source.name);
        if (before != after) problem = "its sources differ from the scene's";
    }
    figures.Check("scene re-read identical", problem.empty(), problem);
}

// The log lines of the messages run: "stress T K" for message K (even) of
// thread T. Each must arrive exactly once.
class LogTally {
public:
    LogTally(int64_t threads, int64_t perThread)
        : threads_(threads), perThread_(perThread), seen_(static_cast<size_t>(threads * ((perThread + 1) / 2))) {}

    static std::u16string Line(int64_t thread, int64_t message) {
        return Widen("stress " + std::to_string(thread) + " " + std::to_string(message));
    }

    // Takes the lines captured so far and empties the capture, so that it
    // does not grow with the run. Only this thread logs here: the window
    // procedure runs on the thread that pumps, which is this one.
    void Harvest(LogCapture& capture) {
        for (const LoggedLine& line : capture.Lines()) Count(line.text.ToUtf8());
        capture.Clear();
    }

    int64_t Expected() const { return static_cast<int64_t>(seen_.size()); }
    int64_t Received() const { return received_; }
    int64_t Duplicated() const { return duplicated_; }
    int64_t Stray() const { return stray_; }

private:
    void Count(const std::string& text) {
        constexpr std::string_view prefix = "stress ";
        int64_t thread = -1, message = -1;
        const char* end = text.data() + text.size();
        bool ok = text.rfind(prefix, 0) == 0;
        const char* at = text.data() + prefix.size();
        if (ok) {
            auto parsed = std::from_chars(at, end, thread);
            ok = parsed.ec == std::errc() && parsed.ptr < end && *parsed.ptr == ' ';
            if (ok) {
                parsed = std::from_chars(parsed.ptr + 1, end, message);
                ok = parsed.ec == std::errc() && parsed.ptr == end;
            }
        }
        if (!ok || thread < 0 || thread >= threads_ || message < 0 || message >= perThread_ || message % 2 != 0) {
            // Someone else's line (the logic assembly's start report, a
            // warning): shown as it would have been.
            ++stray_;
            std::fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        uint8_t& seen = seen_[static_cast<size_t>(thread * ((perThread_ + 1) / 2) + message / 2)];
        if (seen) ++duplicated_;
        else ++received_;
        seen = 1;
    }

    int64_t threads_, perThread_;
    std::vector<uint8_t> seen_;
    int64_t received_ = 0, duplicated_ = 0, stray_ = 0;
};

std::u16string ThanksText(int64_t thread, int64_t message) {
    return u"感谢stress" + Widen(std::to_string(thread)) + u"赠送的" + Widen(std::to_string(message)) + u"个火箭";
}

// Which text the source shows after the run: the frame drawn then is compared
// with frames drawn after showing, from this thread, each thread's last text.
// Messages of one thread are handled in order, so the text shown last must
// be one of these. A text never sent must draw a different frame, or the
// comparison would prove nothing.
void CheckLastText(Session& session, const LiveScene& scene, WindowHandle window, int64_t threads,
                   int64_t perThread, Figures& figures) {
    const int64_t lastText = perThread % 2 == 0 ? perThread - 1 : perThread - 2;
    if (lastText < 1) {
        figures.Figure("last text shown", "none sent");
        return;
    }
    const std::vector<uint8_t> shown = session.canvas.CanvasPixels();
    auto Draws = [&](const std::u16string& text) {
        SendText(window, kShowTextCommand, text);  // this thread owns the window: handled at once
        RenderFrame(session.canvas, session.scene.background, scene.live, 0.0f);
        return session.canvas.CanvasPixels() == shown;
    };
    if (Draws(ThanksText(-1, 0))) {
        figures.Check("last text is one that was sent", false, "the frame does not change with the text shown");
        return;
    }
    for (int64_t thread = 0; thread < threads; ++thread) {
        const std::u16string candidate = ThanksText(thread, lastText);
        if (!Draws(candidate)) continue;
        figures.Figure("last text shown", String(candidate).ToUtf8());
        figures.Check("last text is one that was sent", true);
        return;
    }
    figures.Figure("last text shown", "none of the texts the threads sent last");
    figures.Check("last text is one that was sent", false, "the frame matches no thread's last text");
}

}  // namespace

bool RunMessagesStress(const StressOptions& options, Figures& figures, std::string& error) {
    Session session;
    if (!OpenSession(session, options.scenePath, error)) return false;
    LiveScene scene;
    if (!scene.Begin(session.scene, error)) return false;

    WindowHandle window = 0;
    const SceneSource* target = FirstSourceWithWindow(session.scene, window);
    if (!target) {
        error = options.scenePath +
                ": no source has a message window (a window number in its \"innerId\"): the scene needs a thanks "
                "source, and the logic runtime must be present";
        return false;
    }
    figures.Figure("target source", target->name);
    figures.Figure("target window", static_cast<int64_t>(window));

    RenderFrames(session, scene.live, kWarmUpFrames);
    const MemorySample memoryStart = SampleMemory();

    const int64_t threads = options.threads, perThread = options.messages;
    LogTally tally(threads, perThread);
    LogCapture capture;
    // Tens of thousands of lines are counted, not shown.
    SetLogToStderr(false);

    std::atomic<int64_t> sendersLeft{threads};
    std::vector<std::thread> senders;
    const Clock::time_point start = Clock::now();
    for (int64_t thread = 0; thread < threads; ++thread) {
        senders.emplace_back([&, thread] {
            for (int64_t message = 0; message < perThread; ++message) {
                if (message % 2 == 0) SendText(window, kLogTextCommand, LogTally::Line(thread, message));
                else SendText(window, kShowTextCommand, ThanksText(thread, message));
            }
            sendersLeft.fetch_sub(1);
        });
    }
    // Frames as fast as possible, as `scenehost run --fps 0` draws them.
    int64_t frames = 0;
    Clock::time_point lastFrame = start;
    while (true) {
        const bool sendersDone = sendersLeft.load() == 0;
        const Clock::time_point now = Clock::now();
        RenderFrame(session.canvas, session.scene.background, scene.live,
                    std::chrono::duration<float>(now - lastFrame).count());
        lastFrame = now;
        ++frames;
        if (frames % 256 == 0) tally.Harvest(capture);
        // Once every sender has returned, each of its messages has been
        // handled; the frame just drawn took up the last text.
        if (sendersDone) break;
    }
    const double seconds = SecondsSince(start);
    for (std::thread& sender : senders) sender.join();
    tally.Harvest(capture);
    SetLogToStderr(true);
    const MemorySample memoryEnd = SampleMemory();

    const int64_t sent = threads * perThread;
    figures.Figure("threads", threads);
    figures.Figure("messages per thread", perThread);
    figures.Figure("messages sent", sent);
    figures.Figure("log lines sent", tally.Expected());
    figures.Figure("log lines received", tally.Received());
    figures.Figure("log lines lost", tally.Expected() - tally.Received());
    figures.Figure("log lines duplicated", tally.Duplicated());
    figures.Figure("other log lines", tally.Stray());
    figures.Figure("thanks texts sent", sent - tally.Expected());
    figures.Figure("frames rendered", frames);
    figures.Figure("seconds", Decimal(seconds, 2));
    figures.Figure("messages per second", Decimal(static_cast<double>(sent) / std::max(seconds, 1e-9), 0));
    figures.Figure("frames per second", Decimal(static_cast<double>(frames) / std::max(seconds, 1e-9), 1));
    figures.MemoryGrowth("start", memoryStart, "end", memoryEnd);
    figures.Check("no log line lost", tally.Received() == tally.Expected(),
                  std::to_string(tally.Expected() - tally.Received()) + " lost");
    figures.Check("no log line duplicated", tally.Duplicated() == 0,
                  std::to_string(tally.Duplicated()) + " duplicated");
    CheckLastText(session, scene, window, threads, perThread, figures);

    scene.End();
    CheckTextures(session, figures);
    session.plugins.UnloadAll();
    SaveAndCheckScene(session, options.scenePath, figures);
    return true;
}

bool RunSourcesStress(const StressOptions& options, Figures& figures, std::string& error) {
    Session session;
    if (!OpenSession(session, options.scenePath, error)) return false;
    if (session.scene.sources.empty()) {
        error = options.scenePath + ": the scene has no source";
        return false;
    }
    const SceneSource& first = session.scene.sources.front();
    figures.Figure("source", first.name);

    const int64_t warmUp = std::min<int64_t>(options.count, 10);
    std::optional<MemorySample> memoryWarm;
    int64_t failures = 0, frames = 0;
    std::set<int64_t> windows;
    const Clock::time_point start = Clock::now();
    for (int64_t cycle = 0; cycle < options.count; ++cycle) {
        SourcePtr source = CreateSource(first, error);
        if (!source) {
            ++failures;
            ReportCycleProblem(cycle, error);
        } else {
            source->BeginScene();
            if (const WindowHandle window = SourceWindow(first)) windows.insert(window);
            const std::vector<LiveSource> live{{source.get(), first.position, first.size.value_or(source->GetSize())}};
            RenderFrames(session, live, kFramesPerCycle);
            frames += kFramesPerCycle;
            source->EndScene();
            source.reset();
        }
        if (cycle + 1 == warmUp) memoryWarm = SampleMemory();
    }
    const double seconds = SecondsSince(start);
    const MemorySample memoryEnd = SampleMemory();

    figures.Figure("sources created and destroyed", options.count - failures);
    figures.Figure("frames rendered", frames);
    figures.Figure("message windows made", static_cast<int64_t>(windows.size()));
    figures.Figure("seconds", Decimal(seconds, 2));
    figures.MemoryGrowth("after " + std::to_string(warmUp) + " (warm-up)", memoryWarm, "end", memoryEnd);
    figures.Check("every source created", failures == 0, std::to_string(failures) + " failed");
    CheckTextures(session, figures);
    session.plugins.UnloadAll();
    SaveAndCheckScene(session, options.scenePath, figures);
    return true;
}

bool RunReloadStress(const StressOptions& options, Figures& figures, std::string& error) {
    Session session;
    if (!OpenSession(session, options.scenePath, error)) return false;

    const int64_t warmUp = std::min<int64_t>(options.count, 3);
    std::optional<MemorySample> memoryWarm;
    int64_t failures = 0, answered = 0, frames = 0;
    const Clock::time_point start = Clock::now();
    LogCapture capture;
    for (int64_t cycle = 0; cycle < options.count; ++cycle) {
        if (cycle > 0 && !LoadScenePlugins(session, options.scenePath, error)) {
            ++failures;
            ReportCycleProblem(cycle, error);
            session.plugins.UnloadAll();
            continue;
        }
        LiveScene scene;
        if (!scene.Begin(session.scene, error)) {
            ++failures;
            ReportCycleProblem(cycle, error);
        } else {
            // The reloaded plug-in must still hear its logic assembly: a log
            // line sent from another thread, as the assembly's timers send,
            // has to come through the window's queue while frames are drawn.
            WindowHandle window = 0;
            FirstSourceWithWindow(session.scene, window);
            const std::u16string line = Widen("reload " + std::to_string(cycle));
            capture.Clear();
            std::atomic<bool> sent{window == 0};
            std::thread sender;
            if (window) sender = std::thread([&] {
                SendText(window, kLogTextCommand, line);
                sent = true;
            });
            int drawn = 0;
            while (!sent.load() || drawn < kFramesPerCycle) {
                RenderFrame(session.canvas, session.scene.background, scene.live, kFrameTick);
                ++drawn;
            }
            if (sender.joinable()) sender.join();
            frames += drawn;
            const std::vector<String> lines = capture.Of(LogKind::Line);
            if (std::any_of(lines.begin(), lines.end(), [&](const String& text) { return text == String(line); }))
                ++answered;
            else
                ReportCycleProblem(cycle, "the source's window did not take the log line");
        }
        scene.End();
        session.plugins.UnloadAll();
        if (cycle + 1 == warmUp) memoryWarm = SampleMemory();
    }
    const double seconds = SecondsSince(start);
    const MemorySample memoryEnd = SampleMemory();

    figures.Figure("cycles", options.count);
    figures.Figure("cycles failed", failures);
    figures.Figure("cycles whose window answered", answered);
    figures.Figure("frames rendered", frames);
    figures.Figure("seconds", Decimal(seconds, 2));
    figures.MemoryGrowth("after " + std::to_string(warmUp) + " (warm-up)", memoryWarm, "end", memoryEnd);
    figures.Check("every cycle loaded and ran", failures == 0, std::to_string(failures) + " failed");
    figures.Check("every cycle's window answered", answered == options.count,
                  std::to_string(options.count - answered) + " did not");
    CheckTextures(session, figures);
    SaveAndCheckScene(session, options.scenePath, figures);
    return true;
}
