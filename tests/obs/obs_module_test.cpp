// The module inside a real libobs: started headless on the X display with
// Mesa's software renderer (the test runs under xvfb-run), the module loaded
// from a copy installed as a user installs it, and thanks sources driven by
// OBS's own threads.

#include "tests/obs/headless_obs.h"

#include <obs.h>
#include <obs-module.h>

#include <cairo.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The module's folder as a user installs it; the build tree's own layout
// when the test is run by hand.
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

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// The frames libobs outputs, as BGRA rows (the output format the suite asks
// for), read back on OBS's video thread; the latest one is kept.
class FrameGrabber {
public:
    FrameGrabber() { obs_add_raw_video_callback(nullptr, &FrameGrabber::Receive, this); }
    ~FrameGrabber() { obs_remove_raw_video_callback(&FrameGrabber::Receive, this); }
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    struct Frame {
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> bgra;  // width * 4 bytes a row
    };

    Frame Latest() {
        std::lock_guard lock(mutex_);
        return latest_;
    }

private:
    static void Receive(void* param, video_data* frame) {
        auto* self = static_cast<FrameGrabber*>(param);
        obs_video_info video{};
        obs_get_video_info(&video);
        std::lock_guard lock(self->mutex_);
        Frame& latest = self->latest_;
        latest.width = video.output_width;
        latest.height = video.output_height;
        latest.bgra.resize(size_t{latest.width} * latest.height * 4);
        for (uint32_t row = 0; row < latest.height; ++row)
            std::memcpy(&latest.bgra[size_t{row} * latest.width * 4], frame->data[0] + size_t{row} * frame->linesize[0],
                        size_t{latest.width} * 4);
    }

    std::mutex mutex_;
    Frame latest_;
};

// The columns that hold green text pixels (the text colour the frame tests
// use, on the black canvas): the text's width in the frame, 0 when none.
uint32_t GreenTextWidth(const FrameGrabber::Frame& frame) {
    int64_t left = -1, right = -1;
    for (uint32_t x = 0; x < frame.width; ++x)
        for (uint32_t y = 0; y < frame.height; ++y) {
            const uint8_t* pixel = &frame.bgra[(size_t{y} * frame.width + x) * 4];
            if (pixel[1] > 160 && pixel[0] < 90 && pixel[2] < 90) {
                if (left < 0) left = x;
                right = x;
                break;
            }
        }
    return left < 0 ? 0 : static_cast<uint32_t>(right - left + 1);
}

// Kept beside the test's other output for a look at the glyphs.
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

// Presses the source's "Settings…" button as OBS's properties view does, on
// the calling thread (OBS's UI thread).
void PressConfigure(obs_source_t* source) {
    obs_properties_t* properties = obs_source_properties(source);
    ASSERT_NE(properties, nullptr);
    obs_property_t* button = obs_properties_get(properties, "configure");
    ASSERT_NE(button, nullptr);
    obs_property_button_clicked(button, source);
    obs_properties_destroy(properties);
}

// libobs with OpenGL on the X display and the module loaded, for the whole
// suite: libobs cannot be started twice in a process.
class ObsModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        journal = OutputPath("obs_module_journal.txt");
        std::remove(journal.c_str());
        setenv("TAVREL_JOURNAL", journal.c_str(), 1);
        const std::string failure = StartHeadlessObs(640, 360, ModuleDir());
        ASSERT_TRUE(failure.empty()) << failure;
    }

    static void TearDownTestSuite() { StopHeadlessObs(); }

    static inline std::string journal;
};

TEST_F(ObsModuleTest, RegistersTheSourceUnderItsLocalisedName) {
    EXPECT_STREQ(obs_source_get_display_name("morvik_thanks_image"), "Morvik答谢水友");
}

// Shown on an output channel, the source is activated: the logic assembly
// gets its channel, settings and "start:"; the measured base size lands in
// OBS's own settings and becomes the source's size. Hidden again, "stop:".
TEST_F(ObsModuleTest, ActivationStartsTheChannelAndStoresTheBaseSizeInObsSettings) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "room_name", "demo");
    obs_data_set_int(settings, "fontSize", 40);
    obs_source_t* source = obs_source_create("morvik_thanks_image", "thanks", settings, nullptr);
    ASSERT_NE(source, nullptr);
    obs_set_output_source(0, source);

    EXPECT_TRUE(WaitFor([&] { return ReadFile(journal).find("start:") != std::string::npos; }));
    // libobs runs the update at the next tick, and the core thread after the
    // activation: once the source's size has changed from the default, the
    // core's writes into the settings are done (and, through the source's
    // drawing lock, visible here).
    obs_source_update(source, nullptr);
    EXPECT_TRUE(WaitFor([&] { return obs_source_get_width(source) > 32; }));
    EXPECT_GT(obs_source_get_height(source), 0u);
    EXPECT_EQ(obs_source_get_width(source), static_cast<uint32_t>(obs_data_get_double(settings, "baseSizeCX")));

    obs_set_output_source(0, nullptr);
    EXPECT_TRUE(WaitFor([&] { return ReadFile(journal).find("stop:") != std::string::npos; }));
    obs_source_release(source);
    obs_data_release(settings);
}

// libobs allocates and frees on its own threads too (sources released in an
// earlier test are destroyed later): the count once it has stopped moving.
long SettledAllocations() {
    long last = bnum_allocs();
    for (int stable = 0; stable < 10;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long now = bnum_allocs();
        stable = now == last ? stable + 1 : 0;
        last = now;
    }
    return last;
}

TEST_F(ObsModuleTest, CreatingAndDestroyingSourcesLeaksNothing) {
    const long before = SettledAllocations();
    for (int i = 0; i < 50; ++i) {
        obs_source_t* source = obs_source_create_private("morvik_thanks_image", "leak", nullptr);
        ASSERT_NE(source, nullptr);
        obs_source_release(source);
    }
    EXPECT_EQ(SettledAllocations(), before);
}

// What the streamer sees: the built-in hint while the logic assembly has
// sent nothing (no room yet), then the thanks text it pushed, drawn by OBS's
// graphics thread into the output frames.
TEST_F(ObsModuleTest, TheFramesShowTheHintThenTheThanksTextTheAssemblyPushes) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "font", "WenQuanYi Micro Hei");
    obs_data_set_int(settings, "fontSize", 24);
    obs_data_set_int(settings, "color", static_cast<int32_t>(0xFF00FF00));
    obs_data_set_int(settings, "show_second", 100);
    obs_data_set_int(settings, "is_no_thanks", 0);
    obs_data_set_string(settings, "thanks_string", "感谢$sender$赠送的$num$个$gift$");
    obs_source_t* source = obs_source_create("morvik_thanks_image", "frames", settings, nullptr);
    ASSERT_NE(source, nullptr);
    FrameGrabber grabber;
    obs_set_output_source(0, source);

    FrameGrabber::Frame hint;
    ASSERT_TRUE(WaitFor([&] { return GreenTextWidth(hint = grabber.Latest()) > 0; }));
    SaveFrame(hint, "obs_module_hint.png");
    // The source is drawn at its base size, which was measured from the hint
    // (read once the core thread has finished with the settings: see above).
    obs_source_update(source, nullptr);
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source) > 32; }));
    const uint32_t hintWidth = GreenTextWidth(hint);
    EXPECT_NEAR(hintWidth, obs_data_get_double(settings, "baseSizeCX"), hintWidth * 0.15);

    // The room reaches the assembly with the settings the form is opened
    // with; hidden and shown again ("stop:", "start:"), the source replays it.
    const std::string gifts = OutputPath("obs_module_gifts.txt");
    WriteFile(gifts, "0.5|一二三四五六七八九十|火箭|9|x3\n");
    obs_data_set_string(settings, "room_name", gifts.c_str());
    const std::string form = OutputPath("obs_module_accept.txt");
    WriteFile(form, "result 0\n");
    setenv("TAVREL_FORM", form.c_str(), 1);
    PressConfigure(source);
    unsetenv("TAVREL_FORM");
    obs_set_output_source(0, nullptr);
    const std::string stop = std::string("stop:") + obs_data_get_string(settings, "innerId") + "\n";
    ASSERT_TRUE(WaitFor([&] { return ReadFile(journal).find(stop) != std::string::npos; }));
    obs_set_output_source(0, source);
    FrameGrabber::Frame thanks;
    // "感谢一二三四五六七八九十赠送的9个火箭": eighteen ideographs and a
    // digit against the hint's twelve.
    const bool thanked = WaitFor([&] { return GreenTextWidth(thanks = grabber.Latest()) > hintWidth * 14 / 10; });
    SaveFrame(thanks, "obs_module_thanks.png");
    EXPECT_TRUE(thanked) << "text width " << GreenTextWidth(thanks) << ", hint " << hintWidth;

    obs_set_output_source(0, nullptr);
    obs_source_release(source);
    obs_data_release(settings);
}

// The form, played by the reference assembly from a script: what it sets
// lands in the source's own obs_data_t (saved with the scene collection),
// and on acceptance the base size measured in the new font becomes the
// source's size in OBS.
TEST_F(ObsModuleTest, TheFormButtonStoresTheAssemblysSettingsAndTheNewSize) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "font", "WenQuanYi Micro Hei");
    obs_source_t* source = obs_source_create_private("morvik_thanks_image", "form", settings);
    ASSERT_NE(source, nullptr);
    const std::string form = OutputPath("obs_module_form.txt");
    setenv("TAVREL_FORM", form.c_str(), 1);

    WriteFile(form, "int fontSize 20\nresult 0\n");
    PressConfigure(source);
    EXPECT_EQ(obs_data_get_int(settings, "fontSize"), 20);
    const uint32_t smallWidth = obs_source_get_width(source);
    EXPECT_EQ(smallWidth, static_cast<uint32_t>(obs_data_get_double(settings, "baseSizeCX")));

    WriteFile(form, "int fontSize 60\nstring thanks_string 谢谢$sender$的$gift$\ncolor outlineColor 255\nresult 0\n");
    PressConfigure(source);
    EXPECT_EQ(obs_data_get_int(settings, "fontSize"), 60);
    EXPECT_STREQ(obs_data_get_string(settings, "thanks_string"), "谢谢$sender$的$gift$");
    // Colours arrive made opaque.
    EXPECT_EQ(static_cast<uint32_t>(obs_data_get_int(settings, "outlineColor")), 0xFF0000FFu);
    EXPECT_EQ(obs_source_get_width(source), static_cast<uint32_t>(obs_data_get_double(settings, "baseSizeCX")));
    EXPECT_GT(obs_source_get_width(source), smallWidth * 25 / 10);
    EXPECT_GT(obs_source_get_height(source), 0u);

    // Cancelled: what the form pushed is kept, as under any host, but the
    // size is not measured again.
    WriteFile(form, "int fontSize 10\nresult 1\n");
    const uint32_t acceptedWidth = obs_source_get_width(source);
    PressConfigure(source);
    EXPECT_EQ(obs_data_get_int(settings, "fontSize"), 10);
    EXPECT_EQ(obs_source_get_width(source), acceptedWidth);

    unsetenv("TAVREL_FORM");
    obs_source_release(source);
    obs_data_release(settings);
}

// A source the frontend never released is destroyed by obs_shutdown after
// the module's unload has stopped the runtime: its destruction must still
// find the core thread (it used to hang on the freed one). Run alone: the
// suite's tear-down is the check, and the test's process must end.
TEST_F(ObsModuleTest, ASourceStillAliveAtShutDownIsDestroyedAfterTheModuleUnloads) {
    obs_source_t* source = obs_source_create("morvik_thanks_image", "left for shut-down", nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    obs_set_output_source(0, source);
    EXPECT_TRUE(WaitFor([&] { return ReadFile(journal).find("start:") != std::string::npos; }));
    obs_set_output_source(0, nullptr);
}

}  // namespace
