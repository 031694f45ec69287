// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/websocket_vendor.h"

#include "channel/control_error.h"
#include "obs/thanks_controls.h"
#include "obs/vendor_vocabulary.h"

#include <obs-frontend-api.h>
#include <obs-module.h>

#include <nlohmann/json.hpp>

#include <dlfcn.h>
#include <mutex>

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
// Set in obs_module_post_load, dropped when OBS's frontend says it exits:
// obs-websocket may be unloaded before this module, and its proc handler
// and vendor table with it. Held while an event is emitted and while the
// vendor is dropped, so that no emit is half-way through then.
std::mutex vendorMutex;
const Vendor* vendor = nullptr;

std::string Field(obs_data_t* data, const char* key) {
    const char* value = data ? obs_data_get_string(data, key) : nullptr;
    return value ? value : "";
}

// The field `key` of the request as JSON text ("" when it is missing): a
// SendGifts' "gifts" as the gift endpoint takes them, a ThankAgain's
// "giftId" as the decimal number control_request.h checks (any other JSON
// is refused there, quoted).
std::string JsonField(obs_data_t* request, const char* key) {
    const nlohmann::json parsed = nlohmann::json::parse(obs_data_get_json(request), nullptr, false);
    if (!parsed.is_object() || !parsed.contains(key)) return "";
    return parsed[key].dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void Answer(obs_data_t* response, const std::string& json) {
    obs_data_t* answer = obs_data_create_from_json(json.c_str());
    if (!answer) answer = obs_data_create_from_json(ControlError("the logic assembly answered no JSON object").c_str());
    obs_data_apply(response, answer);
    obs_data_release(answer);
}

void OnRequest(obs_data_t* request, obs_data_t* response, void* data) {
    const auto* handled = static_cast<const VendorRequest*>(data);
    const std::string argument = handled->argument ? JsonField(request, handled->argument) : "";
    Answer(response, ControlInput(Field(request, kInputNameField), Field(request, kInputUuidField), handled->action,
                                  argument));
}

// OBS's frontend library is looked up in the process rather than linked,
// as libobs is: the module loads in hosts without it.
using FrontendEventCallback = void (*)(obs_frontend_event_cb callback, void* data);
FrontendEventCallback FrontendFunction(const char* name) {
    return reinterpret_cast<FrontendEventCallback>(dlsym(RTLD_DEFAULT, name));
}

// Takes back the requests and drops the vendor while obs-websocket is still
// there; afterwards no request reaches this module and no event is emitted.
void DropVendor() {
    std::lock_guard lock(vendorMutex);
    if (!vendor) return;
    for (const VendorRequest& request : kVendorRequests) {
        calldata_t call{};
        calldata_set_ptr(&call, "vendor", vendor->handle);
        calldata_set_string(&call, "type", request.type);
        proc_handler_call(vendor->procs, "vendor_request_unregister", &call);
        calldata_free(&call);
    }
    vendor = nullptr;
    blog(LOG_INFO, "[morvik-thanks] obs-websocket vendor \"morvik-thanks\" dropped as OBS exits");
}

// OBS's frontend says it exits before it unloads any module.
void OnFrontendEvent(obs_frontend_event event, void*) {
    if (event == OBS_FRONTEND_EVENT_EXIT) DropVendor();
}
bool frontendCallbackAdded = false;  // OBS's UI thread, and the module's load and unload

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
    const FrontendEventCallback add = FrontendFunction("obs_frontend_add_event_callback");
    if (!add) {
        blog(LOG_WARNING, "[morvik-thanks] OBS's frontend is not there to say when it exits: the vendor is not offered");
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
    for (const VendorRequest& request : kVendorRequests) {
        RequestCallback callback{OnRequest, const_cast<VendorRequest*>(&request)};
        calldata_t registration{};
        calldata_set_ptr(&registration, "vendor", registered.handle);
        calldata_set_string(&registration, "type", request.type);
        calldata_set_ptr(&registration, "callback", &callback);
        proc_handler_call(registered.procs, "vendor_request_register", &registration);
        if (!calldata_bool(&registration, "success"))
            blog(LOG_WARNING, "[morvik-thanks] obs-websocket refused the request %s", request.type);
        calldata_free(&registration);
    }
    add(OnFrontendEvent, nullptr);
    frontendCallbackAdded = true;
    std::lock_guard lock(vendorMutex);
    vendor = &registered;
    blog(LOG_INFO, "[morvik-thanks] obs-websocket vendor \"morvik-thanks\" registered");
}

void ForgetWebsocketVendor() {
    {
        std::lock_guard lock(vendorMutex);
        vendor = nullptr;
    }
    // As OBS's own plug-ins do in their unload: the frontend is still there.
    if (frontendCallbackAdded)
        if (const FrontendEventCallback remove = FrontendFunction("obs_frontend_remove_event_callback"))
            remove(OnFrontendEvent, nullptr);
    frontendCallbackAdded = false;
}

void EmitSourceEvent(obs_weak_source_t* weakSource, const VendorEvent& event, const std::string& text) {
    std::lock_guard lock(vendorMutex);
    const Vendor* registered = vendor;
    if (!registered) return;
    obs_source_t* source = obs_weak_source_get_source(weakSource);
    if (!source) return;
    obs_data_t* data = event.textField ? obs_data_create() : obs_data_create_from_json(text.c_str());
    if (data) {
        if (event.textField) obs_data_set_string(data, event.textField, text.c_str());
        obs_data_set_string(data, kInputNameField, obs_source_get_name(source));
        calldata_t call{};
        calldata_set_ptr(&call, "vendor", registered->handle);
        calldata_set_string(&call, "type", event.type);
        calldata_set_ptr(&call, "data", data);
        proc_handler_call(registered->procs, "vendor_event_emit", &call);
        calldata_free(&call);
        obs_data_release(data);
    }
    obs_source_release(source);
}
