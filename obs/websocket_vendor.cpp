#include "obs/websocket_vendor.h"

#include "channel/control_error.h"
#include "obs/thanks_controls.h"

#include <obs-module.h>

#include <nlohmann/json.hpp>

#include <array>
#include <atomic>

namespace {

// obs-websocket's plug-in interface is a proc handler of its own, found
// through the global one: "vendor_register" {name} -> {vendor},
// "vendor_request_register" {vendor, type, callback: the address of a
// RequestCallback, copied} -> {success}, "vendor_event_emit" {vendor, type,
// data} -> {success}.
using RequestFunction = void (*)(obs_data_t* request, obs_data_t* response, void* data);
struct RequestCallback {
    RequestFunction function;
    void* data;
};

struct Vendor {
    proc_handler_t* procs = nullptr;
    void* handle = nullptr;
};
// Written once in obs_module_post_load, before any request or event.
std::atomic<const Vendor*> vendor{nullptr};

struct Request {
    const char* type;
    const char* action;
};

constexpr std::array<Request, 7> kRequests{{
    {"SendGifts", "gifts"},
    {"TestThanks", "test"},
    {"SkipThanks", "skip"},
    {"PauseThanks", "pause"},
    {"ResumeThanks", "resume"},
    {"ClearThanks", "clear"},
    {"GetThanksState", "state"},
}};

std::string Field(obs_data_t* data, const char* key) {
    const char* value = data ? obs_data_get_string(data, key) : nullptr;
    return value ? value : "";
}

// The "gifts" of a SendGifts request as the JSON the gift endpoint takes.
std::string GiftsOf(obs_data_t* request) {
    const nlohmann::json parsed = nlohmann::json::parse(obs_data_get_json(request), nullptr, false);
    if (!parsed.is_object() || !parsed.contains("gifts")) return "";
    return parsed["gifts"].dump();
}

void Answer(obs_data_t* response, const std::string& json) {
    obs_data_t* answer = obs_data_create_from_json(json.c_str());
    if (!answer) answer = obs_data_create_from_json(ControlError("the logic assembly answered no JSON object").c_str());
    obs_data_apply(response, answer);
    obs_data_release(answer);
}

void OnRequest(obs_data_t* request, obs_data_t* response, void* data) {
    const auto* handled = static_cast<const Request*>(data);
    const std::string action = handled->action;
    std::string gifts;
    if (action == "gifts" && (gifts = GiftsOf(request)).empty()) {
        Answer(response, ControlError("\"gifts\" is missing: give one gift object or an array of gifts"));
        return;
    }
    Answer(response, ControlInput(Field(request, "inputName"), Field(request, "inputUuid"), action, gifts));
}

proc_handler_t* WebsocketProcs() {
    calldata_t call{};
    proc_handler_t* procs = nullptr;
    if (proc_handler_call(obs_get_proc_handler(), "obs_websocket_api_get_ph", &call))
        procs = static_cast<proc_handler_t*>(calldata_ptr(&call, "ph"));
    calldata_free(&call);
    return procs;
}

}  // namespace

void RegisterWebsocketVendor() {
    static Vendor registered;
    registered.procs = WebsocketProcs();
    if (!registered.procs) {
        blog(LOG_INFO, "[morvik-thanks] obs-websocket is not loaded: the vendor requests are not offered");
        return;
    }
    calldata_t call{};
    calldata_set_string(&call, "name", "morvik-thanks");
    proc_handler_call(registered.procs, "vendor_register", &call);
    registered.handle = calldata_ptr(&call, "vendor");
    calldata_free(&call);
    if (!registered.handle) {
        blog(LOG_WARNING, "[morvik-thanks] obs-websocket refused the vendor \"morvik-thanks\"");
        return;
    }
    for (const Request& request : kRequests) {
        RequestCallback callback{OnRequest, const_cast<Request*>(&request)};
        calldata_t registration{};
        calldata_set_ptr(&registration, "vendor", registered.handle);
        calldata_set_string(&registration, "type", request.type);
        calldata_set_ptr(&registration, "callback", &callback);
        proc_handler_call(registered.procs, "vendor_request_register", &registration);
        if (!calldata_bool(&registration, "success"))
            blog(LOG_WARNING, "[morvik-thanks] obs-websocket refused the request %s", request.type);
        calldata_free(&registration);
    }
    vendor = &registered;
    blog(LOG_INFO, "[morvik-thanks] obs-websocket vendor \"morvik-thanks\" registered");
}

void EmitSourceEvent(obs_weak_source_t* weakSource, const char* type, const std::string& json) {
    const Vendor* registered = vendor.load();
    if (!registered) return;
    obs_source_t* source = obs_weak_source_get_source(weakSource);
    if (!source) return;
    obs_data_t* data = obs_data_create_from_json(json.c_str());
    if (data) {
        obs_data_set_string(data, "inputName", obs_source_get_name(source));
        calldata_t call{};
        calldata_set_ptr(&call, "vendor", registered->handle);
        calldata_set_string(&call, "type", type);
        calldata_set_ptr(&call, "data", data);
        proc_handler_call(registered->procs, "vendor_event_emit", &call);
        calldata_free(&call);
        obs_data_release(data);
    }
    obs_source_release(source);
}
