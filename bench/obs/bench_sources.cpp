// SPDX-License-Identifier: GPL-2.0-or-later
#include "bench/obs/bench_sources.h"

#include "tests/obs/headless_obs.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace {

constexpr const char* kFace = "WenQuanYi Micro Hei";
// The same glyphs: OBS's text source takes its size as the em in pixels,
// the thanks source as the character cell's height (ascent and descent),
// which for this face is 1.17 em.
constexpr int kTextEm = 32, kThanksCell = 38;
constexpr float kColumnWidth = 640.0f, kLineHeight = 45.0f;
constexpr int kLinesPerColumn = 16;

std::vector<std::string> JournalLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream journal(path);
    for (std::string line; std::getline(journal, line);) lines.push_back(line);
    return lines;
}

obs_source_t* CreateSource(SourceKind kind, int index) {
    obs_data_t* settings = obs_data_create();
    const std::string name = (kind == SourceKind::Thanks ? "thanks " : "text ") + std::to_string(index);
    obs_source_t* source;
    if (kind == SourceKind::Thanks) {
        obs_data_set_string(settings, "font", kFace);
        obs_data_set_int(settings, "fontSize", kThanksCell);
        obs_data_set_int(settings, "color", -1);
        obs_data_set_int(settings, "outline", 1);
        obs_data_set_double(settings, "outlineSize", 2.0);
        obs_data_set_int(settings, "show_second", 0);
        obs_data_set_int(settings, "delay_show_second", 0);
        obs_data_set_int(settings, "is_no_thanks", 1);
        obs_data_set_string(settings, "no_thanks_string", GiftTextFor(0).utf8.c_str());
        source = obs_source_create("morvik_thanks_image", name.c_str(), settings, nullptr);
    } else {
        obs_data_t* font = obs_data_create();
        obs_data_set_string(font, "face", kFace);
        obs_data_set_string(font, "style", "Regular");
        obs_data_set_int(font, "size", kTextEm);
        obs_data_set_obj(settings, "font", font);
        obs_data_release(font);
        obs_data_set_bool(settings, "outline", true);
        obs_data_set_string(settings, "text", GiftTextFor(0).utf8.c_str());
        source = obs_source_create("text_ft2_source_v2", name.c_str(), settings, nullptr);
    }
    obs_data_release(settings);
    return source;
}

}  // namespace

GiftText GiftTextFor(uint64_t n) {
    const std::string number = std::to_string(n % 1000000), combo = std::to_string(n % 10);
    GiftText text{"感谢Alice赠送的" + number + "个火箭 x" + combo, u"感谢Alice赠送的"};
    for (char digit : number) text.utf16 += static_cast<char16_t>(digit);
    text.utf16 += u"个火箭 x";
    for (char digit : combo) text.utf16 += static_cast<char16_t>(digit);
    return text;
}

BenchSources::BenchSources(SourceKind kind, int count, std::string journalPath)
    : kind_(kind), journalPath_(std::move(journalPath)), journalStart_(JournalLines(journalPath_).size()),
      scene_(obs_scene_create_private("bench scene")) {
    for (int index = 0; index < count; ++index) {
        obs_source_t* source = CreateSource(kind, index);
        sources_.push_back(source);
        obs_sceneitem_t* item = obs_scene_add(scene_, source);
        const vec2 position{{{(index / kLinesPerColumn) * kColumnWidth, (index % kLinesPerColumn) * kLineHeight}}};
        obs_sceneitem_set_pos(item, &position);
    }
    obs_set_output_source(0, obs_scene_get_source(scene_));
}

BenchSources::~BenchSources() {
    StopChanging();
    obs_set_output_source(0, nullptr);
    obs_scene_release(scene_);
    for (obs_source_t* source : sources_) obs_source_release(source);
}

std::string BenchSources::WaitReady() {
    if (kind_ != SourceKind::Thanks) return "";
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (windows_.size() < sources_.size() && std::chrono::steady_clock::now() < limit) {
        RunUiTasks();
        windows_.clear();
        const std::vector<std::string> lines = JournalLines(journalPath_);
        for (size_t i = journalStart_; i < lines.size(); ++i)
            if (lines[i].rfind("init:", 0) == 0) windows_.push_back(std::stoll(lines[i].substr(5)));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (windows_.size() < sources_.size())
        return std::to_string(windows_.size()) + " of " + std::to_string(sources_.size()) +
               " thanks sources announced a channel (journal " + journalPath_ + ")";
    return "";
}

void BenchSources::SetText(int index, const GiftText& text) {
    if (kind_ == SourceKind::Thanks) {
        SendThanksText(windows_[static_cast<size_t>(index)], text.utf16);
        return;
    }
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "text", text.utf8.c_str());
    obs_source_update(sources_[static_cast<size_t>(index)], settings);
    obs_data_release(settings);
}

void BenchSources::StartChanging(std::function<void()> nextFrame) {
    changing_ = true;
    textsGiven_ = 0;
    for (int index = 0; index < Count(); ++index)
        changers_.emplace_back([this, index, nextFrame] {
            for (uint64_t n = 1; changing_; ++n) {
                nextFrame();
                SetText(index, GiftTextFor(n * 1000 + static_cast<uint64_t>(index)));
                ++textsGiven_;
            }
        });
}

uint64_t BenchSources::StopChanging() {
    changing_ = false;
    for (std::thread& changer : changers_) changer.join();
    changers_.clear();
    return textsGiven_;
}
