// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/activity_page.h"

#include "activity/activity_log.h"
#include "activity/page_server.h"
#include "activity/page_settings.h"
#include "channel/control_error.h"
#include "obs/thanks_controls.h"

#include <obs-module.h>
#include <util/bmem.h>

#include <dlfcn.h>
#include <glib.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// The page, from StartActivityPage to StopActivityPage. Never destroyed: a
// core thread left running at OBS's exit may still feed it then.
struct ActivityPage {
    std::mutex mutex;
    std::shared_ptr<ActivityLog> log;
    std::unique_ptr<PageServer> server;
    std::string url;
};

ActivityPage& Page() {
    static auto* page = new ActivityPage;
    return *page;
}

std::shared_ptr<ActivityLog> CurrentLog() {
    std::lock_guard lock(Page().mutex);
    return Page().log;
}

int64_t UnixMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A module file's or configuration file's path, as OBS gives it (its own
// allocation, freed here); empty when OBS gives none.
std::string TakeObsPath(char* path) {
    std::string taken = path ? path : "";
    bfree(path);
    return taken;
}

constexpr std::array<const char*, 6> kPageActions{"test", "skip", "pause", "resume", "clear", "again"};

// A control from the page, on one of the server's connection threads.
PageServer::ControlAnswer RunPageControl(const std::string& name, const std::string& action,
                                         const std::string& giftId) {
    if (std::find(kPageActions.begin(), kPageActions.end(), action) == kPageActions.end())
        return {400, ControlError("the page's controls are test, skip, pause, resume, clear and again")};
    obs_source_t* source = obs_get_source_by_name(name.c_str());
    const bool thanks = source && std::strcmp(obs_source_get_unversioned_id(source), "morvik_thanks_image") == 0;
    obs_source_release(source);
    if (!thanks) return {404, ControlError("there is no thanks source named \"" + name + "\"")};
    return {200, ControlInput(name, "", action, action == "again" ? giftId : "")};
}

// Opens the page in the desktop's browser; OBS's UI thread. The launcher is
// left to itself (GLib reaps it), so nothing here waits for the browser.
void OpenPage(void*) {
    const std::string url = ActivityPageUrl();
    if (url.empty()) {
        blog(LOG_WARNING, "[morvik-thanks] the gift activity page is not served: OBS's log says why at load");
        return;
    }
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(url.c_str()), nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv, nullptr,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                                G_SPAWN_STDERR_TO_DEV_NULL),
                       nullptr, nullptr, nullptr, &error)) {
        blog(LOG_WARNING,
             "[morvik-thanks] the desktop's browser could not be opened (%s): the gift activity page's address is "
             "kept in OBS's plug-in configuration, morvik-thanks/activity.json",
             error ? error->message : "xdg-open failed");
        g_clear_error(&error);
    }
}

// OBS's frontend (its Tools menu) is there when the module runs in OBS
// Studio rather than in a program of libobs alone; looked up in the process
// so that the module needs no link to it.
void AddToolsMenuItem() {
    using AddItem = void (*)(const char* name, void (*callback)(void*), void* data);
    const auto add = reinterpret_cast<AddItem>(dlsym(RTLD_DEFAULT, "obs_frontend_add_tools_menu_item"));
    if (!add) {
        blog(LOG_INFO, "[morvik-thanks] no OBS frontend: the gift activity page has no Tools menu item");
        return;
    }
    add(obs_module_text("GiftActivity"), OpenPage, nullptr);
}

// The address as OBS's log shows it: the token's first 4 digits, enough to
// tell two apart, not to use one. ("http://127.0.0.1:PORT/" + 32 digits + "/")
std::string Shortened(const std::string& url) { return url.substr(0, url.size() - 33 + 4) + "…/"; }

}  // namespace

void StartActivityPage() {
    if (!ActivityPageUrl().empty()) return;
    const std::string settingsPath = TakeObsPath(obs_module_config_path("activity.json"));
    std::string problem;
    PageSettings settings = LoadPageSettings(settingsPath, problem);
    if (!problem.empty()) blog(LOG_WARNING, "[morvik-thanks] %s", problem.c_str());
    if (settings.token.empty()) return;

    auto log = std::make_shared<ActivityLog>();
    PageServer::Options options;
    options.token = settings.token;
    options.pageFolder = TakeObsPath(obs_module_file("activity"));
    const char* locale = obs_get_locale();
    options.locale = locale ? locale : "en-US";
    options.control = RunPageControl;
    const uint16_t kept = settings.port;
    options.port = kept;
    std::string error;
    std::unique_ptr<PageServer> server = PageServer::Start(*log, options, error);
    if (!server && kept != 0) {
        // The port kept is taken: another one, and a dock needs the new address.
        blog(LOG_WARNING, "[morvik-thanks] the gift activity page: %s; it moves to another port", error.c_str());
        options.port = 0;
        server = PageServer::Start(*log, options, error);
    }
    if (!server) {
        blog(LOG_ERROR, "[morvik-thanks] the gift activity page is not served: %s", error.c_str());
        return;
    }
    if (server->Port() != kept) {
        settings.port = server->Port();
        if (!SavePageSettings(settingsPath, settings, error))
            blog(LOG_WARNING, "[morvik-thanks] the gift activity page's port is not kept for OBS's next start: %s",
                 error.c_str());
        if (kept != 0)
            blog(LOG_WARNING, "[morvik-thanks] the gift activity page moved from port %u to %u: give a browser dock "
                              "its new address (Tools, Gift activity…)",
                 kept, server->Port());
    }
    const std::string url = server->Url();
    blog(LOG_INFO, "[morvik-thanks] the gift activity page is served at %s (the full address: Tools, Gift activity…)",
         Shortened(url).c_str());
    {
        std::lock_guard lock(Page().mutex);
        Page().log = std::move(log);
        Page().server = std::move(server);
        Page().url = url;
    }
    AddToolsMenuItem();
}

void StopActivityPage() {
    std::unique_ptr<PageServer> server;
    std::shared_ptr<ActivityLog> log;
    {
        std::lock_guard lock(Page().mutex);
        server = std::move(Page().server);
        log = std::move(Page().log);
        Page().url.clear();
    }
    // Outside the lock, since a connection still running a control may feed
    // the log meanwhile. The server goes first: it closes the log its event
    // streams wait on and joins their threads; the log goes after it.
    server.reset();
}

void ActivitySourceAdded(uint64_t key, const std::string& name) {
    if (const auto log = CurrentLog()) log->AddSource(key, name);
}

void ActivitySourceRemoved(uint64_t key) {
    if (const auto log = CurrentLog()) log->RemoveSource(key);
}

void ActivityGiftReceived(uint64_t key, const std::string& name, const std::string& payload) {
    const auto log = CurrentLog();
    if (!log) return;
    log->RenameSource(key, name);
    log->AddGift(key, payload, UnixMilliseconds());
}

void ActivityThanksShown(uint64_t key, const std::string& name, const std::string& text) {
    const auto log = CurrentLog();
    if (!log) return;
    log->RenameSource(key, name);
    log->SetOnAir(key, text);
}

void ActivityStateReported(uint64_t key, const std::string& name, const nlohmann::json& state) {
    const auto log = CurrentLog();
    if (!log) return;
    log->RenameSource(key, name);
    const auto queued = state.find("queued");
    const auto paused = state.find("paused");
    if (queued != state.end() && queued->is_number_integer() && paused != state.end() && paused->is_boolean()) {
        log->SetState(key, queued->get<int64_t>(), paused->get<bool>());
        // What is on air comes from the thanks drawn, with blocked words
        // masked as on screen; the state says only when none is.
        const auto showing = state.find("showing");
        if (showing != state.end() && showing->is_string() && showing->get<std::string>().empty())
            log->SetOnAir(key, "");
        return;
    }
    const auto error = state.find("error");
    if (error != state.end() && error->is_string() && error->get<std::string>() == kControlsUnsupported)
        log->SetNoAnnouncements(key);
}

bool ActivityPageWatched() {
    const auto log = CurrentLog();
    return log && log->Watched();
}

std::string ActivityPageUrl() {
    std::lock_guard lock(Page().mutex);
    return Page().url;
}
