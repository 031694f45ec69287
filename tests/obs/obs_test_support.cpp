// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/obs/obs_test_support.h"

#include <obs-module.h>

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <chrono>
#include <thread>

namespace obs_test {

std::string ModuleDir() {
    const char* installed = std::getenv("MORVIK_OBS_MODULE_DIR");
    return installed ? installed : "obs-plugins/morvik-thanks";
}

std::string OutputPath(const std::string& name) {
    const char* folder = std::getenv("MORVIK_TEST_OUTPUT");
    return std::string(folder ? folder : ".") + "/" + name;
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

std::string journalPath;

std::mutex logMutex;
std::vector<std::string> logLines;
log_handler_t defaultLogHandler = nullptr;
void* defaultLogParam = nullptr;

void RecordLogLine(int level, const char* format, va_list args, void* param) {
    va_list copy;
    va_copy(copy, args);
    char line[4096];
    std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    {
        std::lock_guard lock(logMutex);
        logLines.emplace_back(line);
    }
    if (defaultLogHandler) defaultLogHandler(level, format, args, param ? param : defaultLogParam);
}

class ObsEnvironment : public ::testing::Environment {
public:
    ObsEnvironment(uint32_t width, uint32_t height) : width_(width), height_(height) {}
    void SetUp() override {
        const std::string failure = StartHeadlessObs(width_, height_, ModuleDir());
        ASSERT_TRUE(failure.empty()) << failure;
    }
    void TearDown() override { StopHeadlessObs(); }

private:
    uint32_t width_, height_;
};

}  // namespace

bool LogHas(const std::string& text) {
    std::lock_guard lock(logMutex);
    for (const std::string& line : logLines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

void StartObsForTests(uint32_t width, uint32_t height, const std::string& journalName) {
    base_get_log_handler(&defaultLogHandler, &defaultLogParam);
    base_set_log_handler(RecordLogLine, nullptr);
    journalPath = OutputPath(journalName);
    std::remove(journalPath.c_str());
    setenv("TAVREL_JOURNAL", journalPath.c_str(), 1);
    ::testing::AddGlobalTestEnvironment(new ObsEnvironment(width, height));
}

std::vector<std::string> Journal() {
    std::istringstream in(ReadFile(journalPath));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool JournalHas(const std::string& line) {
    for (const std::string& entry : Journal())
        if (entry == line) return true;
    return false;
}

size_t JournalCount(const std::string& prefix) {
    size_t count = 0;
    for (const std::string& entry : Journal()) count += entry.rfind(prefix, 0) == 0;
    return count;
}

FrameGrabber::FrameGrabber() { obs_add_raw_video_callback(nullptr, &FrameGrabber::Receive, this); }
FrameGrabber::~FrameGrabber() { obs_remove_raw_video_callback(&FrameGrabber::Receive, this); }

FrameGrabber::Frame FrameGrabber::Latest() {
    std::lock_guard lock(mutex_);
    return latest_;
}

uint64_t FrameGrabber::Count() {
    std::lock_guard lock(mutex_);
    return count_;
}

void FrameGrabber::Receive(void* param, video_data* frame) {
    auto* self = static_cast<FrameGrabber*>(param);
    obs_video_info video{};
    obs_get_video_info(&video);
    std::lock_guard lock(self->mutex_);
    ++self->count_;
    Frame& latest = self->latest_;
    latest.width = video.output_width;
    latest.height = video.output_height;
    latest.bgra.resize(size_t{latest.width} * latest.height * 4);
    for (uint32_t row = 0; row < latest.height; ++row)
        std::memcpy(&latest.bgra[size_t{row} * latest.width * 4], frame->data[0] + size_t{row} * frame->linesize[0],
                    size_t{latest.width} * 4);
}

Extent ExtentOf(const FrameGrabber::Frame& frame, uint8_t blue, uint8_t green, uint8_t red, int tolerance) {
    int64_t left = -1, right = -1, top = -1, bottom = -1;
    for (uint32_t y = 0; y < frame.height; ++y)
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint8_t* pixel = frame.Pixel(x, y);
            if (std::abs(pixel[0] - blue) > tolerance || std::abs(pixel[1] - green) > tolerance ||
                std::abs(pixel[2] - red) > tolerance)
                continue;
            if (left < 0 || x < left) left = x;
            if (x > right) right = x;
            if (top < 0) top = y;
            bottom = y;
        }
    if (left < 0) return {};
    return {static_cast<uint32_t>(left), static_cast<uint32_t>(top), static_cast<uint32_t>(right - left + 1),
            static_cast<uint32_t>(bottom - top + 1)};
}

void SaveFrame(const FrameGrabber::Frame& frame, const std::string& name) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, static_cast<int>(frame.width));
    std::vector<uint8_t> rows(static_cast<size_t>(stride) * frame.height);
    for (uint32_t y = 0; y < frame.height; ++y)
        std::memcpy(&rows[size_t{y} * stride], &frame.bgra[size_t{y} * frame.width * 4], size_t{frame.width} * 4);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        rows.data(), CAIRO_FORMAT_RGB24, static_cast<int>(frame.width), static_cast<int>(frame.height), stride);
    cairo_surface_write_to_png(surface, OutputPath(name).c_str());
    cairo_surface_destroy(surface);
}

void PressButton(obs_source_t* source, const char* name) {
    obs_properties_t* properties = obs_source_properties(source);
    ASSERT_NE(properties, nullptr);
    obs_property_t* button = obs_properties_get(properties, name);
    ASSERT_NE(button, nullptr) << name;
    obs_property_button_clicked(button, source);
    obs_properties_destroy(properties);
}

std::string LabelOf(obs_source_t* source, const char* name) {
    obs_properties_t* properties = obs_source_properties(source);
    obs_property_t* property = properties ? obs_properties_get(properties, name) : nullptr;
    const std::string label = property ? obs_property_description(property) : "";
    obs_properties_destroy(properties);
    return label;
}

void TriggerHotkey(obs_source_t* source, const char* name) {
    struct Search {
        obs_source_t* source;
        const char* name;
        obs_hotkey_id id = OBS_INVALID_HOTKEY_ID;
    } search{source, name};
    obs_enum_hotkeys(
        [](void* data, obs_hotkey_id id, obs_hotkey_t* key) {
            auto* wanted = static_cast<Search*>(data);
            if (obs_hotkey_get_registerer_type(key) == OBS_HOTKEY_REGISTERER_SOURCE &&
                obs_weak_source_references_source(static_cast<obs_weak_source_t*>(obs_hotkey_get_registerer(key)),
                                                  wanted->source) &&
                std::string(obs_hotkey_get_name(key)) == wanted->name)
                wanted->id = id;
            return true;
        },
        &search);
    ASSERT_NE(search.id, OBS_INVALID_HOTKEY_ID) << name;
    obs_hotkey_enable_callback_rerouting(true);
    obs_hotkey_trigger_routed_callback(search.id, true);
    obs_hotkey_trigger_routed_callback(search.id, false);
}

std::string CallControlProcedure(const std::string& input, const std::string& action, const std::string& gifts,
                                 Caller on) {
    struct Call {
        const std::string &input, &action, &gifts;
        std::string answer = "(no such procedure)";
    } call{input, action, gifts};
    const auto run = [](void* param) {
        auto& asked = *static_cast<Call*>(param);
        calldata_t data{};
        calldata_set_string(&data, "input", asked.input.c_str());
        calldata_set_string(&data, "action", asked.action.c_str());
        calldata_set_string(&data, "gifts", asked.gifts.c_str());
        if (proc_handler_call(obs_get_proc_handler(), "morvik_thanks_control", &data))
            asked.answer = calldata_string(&data, "answer") ? calldata_string(&data, "answer") : "";
        calldata_free(&data);
    };
    if (on == Caller::Graphics) {
        obs_queue_task(OBS_TASK_GRAPHICS, run, &call, true);
    } else if (on == Caller::Ui) {
        run(&call);  // this program's main thread is libobs's UI thread
    } else {
        std::thread worker(run, &call);
        worker.join();
    }
    return call.answer;
}

std::string CallControlProcedureOnceDone(const std::string& input, const std::string& action,
                                         const std::string& gifts) {
    std::string answer;
    for (int attempt = 0; attempt < 100; ++attempt) {
        answer = CallControlProcedure(input, action, gifts);
        if (answer.find("the logic assembly is busy") == std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return answer;
}

TestSource::TestSource(const char* name, const std::string& json, bool isPrivate)
    : settings_(obs_data_create_from_json(json.c_str())) {
    source_ = isPrivate ? obs_source_create_private("morvik_thanks_image", name, settings_)
                        : obs_source_create("morvik_thanks_image", name, settings_, nullptr);
    obs_data_release(settings_);
    // The source's settings are its own copy: follow those.
    settings_ = obs_source_get_settings(source_);
}

TestSource::~TestSource() {
    obs_data_release(settings_);
    obs_source_release(source_);
}

std::string TestSource::InnerId() const {
    if (innerId_.empty() && shownAt_ != SIZE_MAX) {
        const std::vector<std::string> journal = Journal();
        for (size_t i = shownAt_; i < journal.size() && innerId_.empty(); ++i)
            if (journal[i].rfind("init:", 0) == 0) innerId_ = journal[i].substr(5);
    }
    return innerId_;
}

void TestSource::Show(uint32_t channel) {
    if (shownAt_ == SIZE_MAX) shownAt_ = Journal().size();
    obs_set_output_source(channel, source_);
}
void TestSource::ShowIn(obs_scene_t* scene) {
    if (shownAt_ == SIZE_MAX) shownAt_ = Journal().size();
    obs_set_output_source(0, obs_scene_get_source(scene));
}

void TestSource::Hide(uint32_t channel) { obs_set_output_source(channel, nullptr); }

}  // namespace obs_test

namespace obs_test {

int RunObsTests(int argc, char** argv, uint32_t width, uint32_t height, const std::string& journalName) {
    ::testing::InitGoogleTest(&argc, argv);
    StartObsForTests(width, height, journalName);
    return RUN_ALL_TESTS();
}

}  // namespace obs_test
