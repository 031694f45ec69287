// The module inside a real libobs: started headless on the X display with
// Mesa's software renderer (the test runs under xvfb-run), the module loaded
// from the build tree's OBS plug-in layout, and a thanks source driven by
// OBS's own video thread.

#include <obs.h>
#include <obs-module.h>
#include <obs-nix-platform.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// Xlib's header defines macros (None, Bool) that break GoogleTest's: only the
// two calls the test needs are declared.
extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
int XCloseDisplay(_XDisplay* display);
}

namespace {

const std::string kModuleDir = "obs-plugins/morvik-thanks";

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

// libobs with OpenGL on the X display and the module loaded, for the whole
// suite: libobs cannot be started twice in a process.
class ObsModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        journal = std::string(std::getenv("MORVIK_TEST_OUTPUT") ? std::getenv("MORVIK_TEST_OUTPUT") : ".") +
                  "/obs_module_journal.txt";
        std::remove(journal.c_str());
        setenv("TAVREL_JOURNAL", journal.c_str(), 1);
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "no X display: run under xvfb-run";
        obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
        obs_set_nix_platform_display(display);
        ASSERT_TRUE(obs_startup("en-US", nullptr, nullptr));
        obs_video_info video{};
        video.graphics_module = "libobs-opengl";
        video.fps_num = 30;
        video.fps_den = 1;
        video.base_width = video.output_width = 640;
        video.output_height = video.base_height = 360;
        video.output_format = VIDEO_FORMAT_BGRA;
        video.colorspace = VIDEO_CS_709;
        video.range = VIDEO_RANGE_FULL;
        video.scale_type = OBS_SCALE_BILINEAR;
        ASSERT_EQ(obs_reset_video(&video), OBS_VIDEO_SUCCESS);

        obs_module_t* module = nullptr;
        ASSERT_EQ(obs_open_module(&module, (kModuleDir + "/bin/64bit/morvik-thanks.so").c_str(),
                                  (kModuleDir + "/data").c_str()),
                  MODULE_SUCCESS);
        ASSERT_TRUE(obs_init_module(module));
    }

    static void TearDownTestSuite() {
        obs_shutdown();
        if (display) XCloseDisplay(display);
    }

    static inline _XDisplay* display = nullptr;
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
    EXPECT_TRUE(WaitFor([&] { return obs_data_get_double(settings, "baseSizeCX") > 32.0; }));
    obs_source_update(source, nullptr);
    EXPECT_TRUE(WaitFor([&] { return obs_source_get_width(source) > 32 && obs_source_get_height(source) > 0; }));
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

}  // namespace
