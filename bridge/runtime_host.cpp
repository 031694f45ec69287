// SPDX-License-Identifier: GPL-2.0-or-later
#include "bridge/runtime_host.h"

#include "bridge/fatal_signals.h"
#include "bridge/mono_api.h"
#include "host/host_services.h"
#include "platform/loaded_library.h"
#include "platform/message_window.h"
#include "platform/race_detector.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr const char* kDefaultMonoLibrary = "libmonosgen-2.0.so.1";
constexpr const char* kRuntimeVersion = "v4.0.30319";

const String kMessageRuntimeUnavailable(
    u"错误码127，无法初始化环境，请检查.net framework 4.0 运行环境是否安装。\r\n如需帮助，可加讨论群：" MORVIK_SUPPORT_GROUP);
const String kMessageRuntimeFault(
    u"错误码128，无法初始化环境，请检查.net framework 4.0 运行环境是否安装。\r\n如果需要帮助，可加讨论群：" MORVIK_SUPPORT_GROUP);

struct RuntimeState {
    // The library stands for the design's meta host: loaded on first need,
    // once the host has said which (the machine's Mono unless a runtime
    // carried beside the plug-in was named), absent when Mono or an entry
    // point is missing.
    std::string libraryName = kDefaultMonoLibrary;
    bool libraryTried = false;
    std::unique_ptr<const MonoApi> api;
    std::string classLibraryRoot;
    std::string configRoot;
    // Native libraries the class libraries P/Invoke, by the name they use,
    // mapped to files of a runtime carried beside the plug-in.
    std::vector<std::pair<std::string, std::string>> nativeLibraries;
    // The runtime's root domain once started, by this load of the plug-in
    // or an earlier one in the process; kept for the life of the process.
    MonoDomain* domain = nullptr;
    bool running = false;
    std::string assemblyPath;
    MonoMethod* command = nullptr;
    LogicCallResult lastResult = LogicCallResult::NoRuntime;
};

RuntimeState runtime;

const MonoApi* Api()
{
    if (!runtime.libraryTried) {
        runtime.libraryTried = true;
        runtime.api = LoadMonoApi(runtime.libraryName);
    }
    return runtime.api.get();
}

// Whether this thread is known to the runtime: the thread that started it
// is; any other thread is attached before its first call.
thread_local bool threadAttached = false;

// Native code may touch managed objects only in GC-unsafe mode: under
// Mono's hybrid suspend a collection that finds the thread in safe mode
// while it holds managed references aborts the process.
class GcUnsafeRegion {
public:
    explicit GcUnsafeRegion(const MonoApi& api) : api_(api), cookie_(api.mono_threads_enter_gc_unsafe_region(&stackMark_)) {}
    ~GcUnsafeRegion() { api_.mono_threads_exit_gc_unsafe_region(cookie_, &stackMark_); }
    GcUnsafeRegion(const GcUnsafeRegion&) = delete;
    GcUnsafeRegion& operator=(const GcUnsafeRegion&) = delete;

private:
    const MonoApi& api_;
    void* stackMark_ = nullptr;
    void* cookie_;
};

void AttachCurrentThread(const MonoApi& api)
{
    if (!threadAttached) {
        api.mono_thread_attach(runtime.domain);
        threadAttached = true;
    }
}

RuntimeStartOutcome ReportStartFailure(RuntimeStartOutcome outcome)
{
    const String& text = outcome == RuntimeStartOutcome::Unavailable ? kMessageRuntimeUnavailable : kMessageRuntimeFault;
    OBSMessageBox(nullptr, text.Array(), nullptr, 0);
    return outcome;
}

// Mono ends the process with exit(1) when the class library of the
// requested runtime version is missing, so look for it first, under the very
// root Mono will use.
bool ClassLibraryPresent(const MonoApi& api, const std::string& overrideRoot, const std::string& configRoot)
{
    if (!overrideRoot.empty())
        api.mono_set_dirs(overrideRoot.c_str(), configRoot.empty() ? nullptr : configRoot.c_str());
    else if (!api.mono_assembly_getrootdir())
        api.mono_set_rootdir();
    const char* root = api.mono_assembly_getrootdir();
    std::error_code error;
    return root && std::filesystem::is_regular_file(std::filesystem::path(root) / "mono/4.5/mscorlib.dll", error);
}

// Lets a logic assembly written for Windows reach our message windows with
// [DllImport("user32.dll")], however it spells the name: "user32" or
// "user32.dll" in any letter case (the "i:" prefix) goes to the platform
// library, never to the runtime's own Windows stand-ins. Done again by each
// load of the plug-in, which may have brought the platform library from
// elsewhere.
void MapUser32(const MonoApi& api)
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&SendMessageW), &info) || !info.dli_fname)
        return;
    std::error_code error;
    const std::string platformLibrary = std::filesystem::absolute(info.dli_fname, error).string();
    for (const char* name : {"i:user32.dll", "i:user32"})
        api.mono_dllmap_insert(nullptr, name, nullptr, platformLibrary.c_str(), nullptr);
}

// Sends the class libraries' native helpers to the files of a runtime carried
// beside the plug-in, whatever the machine has under the same names. Mapped
// after the configuration is read: the later mapping of a name wins.
void MapNativeLibraries(const MonoApi& api)
{
    for (const auto& [name, file] : runtime.nativeLibraries)
        api.mono_dllmap_insert(nullptr, name.c_str(), nullptr, file.c_str(), nullptr);
}

// The domain's base folder is the logic assembly's, so that libraries it
// ships beside it resolve, and its configuration file is the .NET
// <assembly>.config there.
void ConfigureDomain(const MonoApi& api, MonoDomain* domain, const std::string& assemblyPath)
{
    std::error_code error;
    const auto assembly = std::filesystem::absolute(assemblyPath, error);
    const std::string baseDir = assembly.parent_path().string();
    const std::string configFile = assembly.filename().string() + ".config";
    api.mono_domain_set_config(domain, baseDir.c_str(), configFile.c_str());
}

bool IsCommandShape(const MonoApi& api, MonoMethod* method)
{
    MonoMethodSignature* signature = api.mono_method_signature(method);
    if (!signature || api.mono_signature_is_instance(signature) || api.mono_signature_get_param_count(signature) != 1)
        return false;
    void* iterator = nullptr;
    MonoType* parameter = api.mono_signature_get_params(signature, &iterator);
    MonoType* result = api.mono_signature_get_return_type(signature);
    return parameter && result && api.mono_type_get_type(parameter) == kMonoTypeString &&
           api.mono_type_get_type(result) == kMonoTypeI4;
}

// Finds Tavrel.Tavrel.Command in the logic assembly; null with the reason in
// lastResult. Runs inside a GC-unsafe region.
MonoMethod* FindCommand(const MonoApi& api)
{
    // Tested first so that a missing file costs one system call, not a
    // search by the runtime.
    if (access(runtime.assemblyPath.c_str(), R_OK) != 0) {
        runtime.lastResult = LogicCallResult::AssemblyMissing;
        return nullptr;
    }
    MonoAssembly* assembly = api.mono_domain_assembly_open(runtime.domain, runtime.assemblyPath.c_str());
    MonoImage* image = assembly ? api.mono_assembly_get_image(assembly) : nullptr;
    if (!image) {
        runtime.lastResult = LogicCallResult::AssemblyMissing;
        return nullptr;
    }
    MonoClass* type = api.mono_class_from_name(image, "Tavrel", "Tavrel");
    MonoMethod* method = type ? api.mono_class_get_method_from_name(type, "Command", 1) : nullptr;
    if (!method || !IsCommandShape(api, method)) {
        runtime.lastResult = LogicCallResult::EntryPointMissing;
        return nullptr;
    }
    return method;
}

}  // namespace

RuntimeStartOutcome StartRuntime(const std::string& assemblyPath)
{
    if (!Api())
        return ReportStartFailure(RuntimeStartOutcome::Fault);
    const MonoApi& api = *runtime.api;
    if (!runtime.domain) {
        // The Mono library outlives this plug-in's code: after the plug-in
        // has been unloaded and loaded again, the runtime its earlier self
        // started is still there and must be taken up, not started again.
        runtime.domain = api.mono_get_root_domain();
        if (!runtime.domain) {
            if (!ClassLibraryPresent(api, runtime.classLibraryRoot, runtime.configRoot))
                return ReportStartFailure(RuntimeStartOutcome::Unavailable);
            api.mono_config_parse(nullptr);
            MapNativeLibraries(api);
            // Mono installs signal handlers of its own in the host process;
            // chained, the host's handlers installed before it still run
            // for what reaches the runtime, and the router sends everything
            // else straight back to them.
            const HostSignalActions hostActions = CaptureHostSignalActions();
            api.mono_set_signal_chaining(1);
            PrepareRuntimeCrashReporting(api);
            runtime.domain = api.mono_jit_init_version("MorvikThanks", kRuntimeVersion);
            if (!runtime.domain)
                return ReportStartFailure(RuntimeStartOutcome::Fault);
            RouteFatalSignals(api, hostActions);
            threadAttached = true;
            GcUnsafeRegion region(api);
            ConfigureDomain(api, runtime.domain, assemblyPath);
        }
        // Taken up after a reload: the handlers the host had before the
        // runtime are no longer known here, so what is not the runtime's
        // gets the default action (the runtime keeps chaining to them).
        RouteFatalSignals(api, HostSignalActions{});
        AttachCurrentThread(api);
        GcUnsafeRegion region(api);
        MapUser32(api);
    }
    if (assemblyPath != runtime.assemblyPath) {
        runtime.assemblyPath = assemblyPath;
        runtime.command = nullptr;
    }
    runtime.running = true;
    return RuntimeStartOutcome::Started;
}

void StopRuntime()
{
    if (!runtime.running)
        return;
    SendLogicCommand(String(u"quit"));
    runtime.running = false;
}

bool RuntimeHostPresent()
{
    return runtime.running;
}

int32_t SendLogicCommand(const String& text)
{
    if (!runtime.running) {
        runtime.lastResult = LogicCallResult::NoRuntime;
        return 0;
    }
    const MonoApi& api = *runtime.api;
    AttachCurrentThread(api);
    GcUnsafeRegion region(api);
    if (!runtime.command) {
        runtime.command = FindCommand(api);
        if (!runtime.command)
            return 0;
    }
    // The string and the result are referenced only from this frame, which
    // the collector scans conservatively, so they stay alive and in place.
    MonoString* argument =
        api.mono_string_new_utf16(runtime.domain, text.Array(), static_cast<int32_t>(text.Length()));
    void* arguments[] = {argument};
    MonoObject* exception = nullptr;
    MonoObject* result = nullptr;
    {
        const ManagedCodeRegion managed;
        result = api.mono_runtime_invoke(runtime.command, nullptr, arguments, &exception);
    }
    if (exception || !result) {
        runtime.lastResult = LogicCallResult::ManagedException;
        return 0;
    }
    runtime.lastResult = LogicCallResult::Ok;
    return *static_cast<const int32_t*>(api.mono_object_unbox(result));
}

namespace {

// A call of the forms helper on a thread of its own, shared with that
// thread, which may outlive the caller's wait: whichever of the two lets go
// last deletes it. (Not a shared_ptr: its control block's type information
// would be exported from a plug-in built with this code, bound to by the
// libraries it loads, and keep it from ever being unloaded.)
struct FormsCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int32_t result = -1;
    std::atomic<int> holders{2};

    void LetGo()
    {
        if (--holders == 0)
            delete this;
    }
};

// Whether a call of the forms helper has not come back yet; cleared by its
// thread, whose code stays loaded until it has.
std::atomic<bool> formsCallOut{false};

// Calls the static int `method`() of MorvikThanks.OpenForms in the assembly
// at `helperPath` on the current thread, which is attached to the runtime,
// with the one int argument `argument` when it is given; its result, or -1
// when it could not be called.
int32_t CallFormsHelper(const MonoApi& api, MonoDomain* domain, const std::string& helperPath, const char* method,
                        std::optional<int32_t> argument = std::nullopt)
{
    const ManagedCodeRegion managed;
    GcUnsafeRegion region(api);
    MonoAssembly* assembly = api.mono_domain_assembly_open(domain, helperPath.c_str());
    MonoImage* image = assembly ? api.mono_assembly_get_image(assembly) : nullptr;
    MonoClass* type = image ? api.mono_class_from_name(image, "MorvikThanks", "OpenForms") : nullptr;
    MonoMethod* call = type ? api.mono_class_get_method_from_name(type, method, argument ? 1 : 0) : nullptr;
    void* arguments[] = {argument ? &*argument : nullptr};
    MonoObject* exception = nullptr;
    MonoObject* result = call ? api.mono_runtime_invoke(call, nullptr, argument ? arguments : nullptr, &exception) : nullptr;
    return result && !exception ? *static_cast<const int32_t*>(api.mono_object_unbox(result)) : -1;
}

}  // namespace

int32_t CloseLogicForms(const std::string& helperPath, int32_t token, std::chrono::milliseconds limit)
{
    // Set once, when the runtime first starts, before any form can open.
    MonoDomain* const domain = runtime.domain;
    if (!domain || !Api())
        return -1;
    const MonoApi& api = *runtime.api;
    // One call at a time: while one has not come back (the runtime does not
    // let the thread attach, say), another would only wait as long.
    if (formsCallOut.exchange(true))
        return -1;
    auto* call = new FormsCall;
    std::thread thread([call, &api, domain, helperPath, token] {
        const ManagedCodeRegion managed;
        MonoThread* attached = api.mono_thread_attach(domain);
        const int32_t result = CallFormsHelper(api, domain, helperPath, "Close", token);
        api.mono_thread_detach(attached);
        {
            std::lock_guard lock(call->mutex);
            call->result = result;
            call->finished = true;
            call->done.notify_all();
        }
        call->LetGo();
        formsCallOut = false;
    });
    int32_t result = -1;
    bool finished = false;
    {
        std::unique_lock lock(call->mutex);
        finished = call->done.wait_for(lock, limit, [&] { return call->finished; });
        result = call->result;
    }
    call->LetGo();
    if (finished) {
        thread.join();
        return result;
    }
    // Its code must stay mapped for it after the plug-in's unload.
    KeepLibraryLoaded(reinterpret_cast<const void*>(&CloseLogicForms));
    thread.detach();
    return -1;
}

int32_t BeginLogicForm(const std::string& helperPath, int32_t token)
{
    if (!runtime.running)
        return -1;
    AttachCurrentThread(*runtime.api);
    return CallFormsHelper(*runtime.api, runtime.domain, helperPath, "Opening", token);
}

int32_t SettleClosedLogicForms(const std::string& helperPath)
{
    if (!runtime.running)
        return -1;
    AttachCurrentThread(*runtime.api);
    return CallFormsHelper(*runtime.api, runtime.domain, helperPath, "SettleClosedForms");
}

LogicCallResult LastLogicCallResult()
{
    return runtime.lastResult;
}

bool RuntimeLibraryLoaded()
{
    return Api() != nullptr;
}

std::string RuntimeLibraryName()
{
    return runtime.libraryName;
}

std::string ClassLibraryRoot()
{
    if (!runtime.classLibraryRoot.empty() || !Api())
        return runtime.classLibraryRoot;
    const char* root = runtime.api->mono_assembly_getrootdir();
    return root ? root : "";
}

void SetRuntimeLibraryName(const std::string& name)
{
    if (runtime.domain)
        return;
    runtime.libraryName = name;
    runtime.libraryTried = true;
    runtime.api = LoadMonoApi(name);
}

void SetClassLibraryRoot(const std::string& root)
{
    if (!runtime.domain)
        runtime.classLibraryRoot = root;
}

void UseRuntimeBeside(const RuntimeLocation& location)
{
    if (runtime.domain)
        return;
    SetRuntimeLibraryName(location.library);
    runtime.classLibraryRoot = location.classLibraryRoot;
    runtime.configRoot = location.configRoot;
    runtime.nativeLibraries = location.nativeLibraries;
}
