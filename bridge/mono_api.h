// SPDX-License-Identifier: GPL-2.0-or-later
// The slice of Mono's embedding API the runtime host uses, resolved at run
// time from a dlopen'ed libmonosgen so that nothing of Mono is linked: a
// machine without Mono still loads the plug-in and is told so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Mono's handle types, opaque here.
struct MonoDomain;
struct MonoAssembly;
struct MonoImage;
struct MonoClass;
struct MonoMethod;
struct MonoMethodSignature;
struct MonoType;
struct MonoObject;
struct MonoString;
struct MonoThread;
struct MonoJitInfo;

// Type codes of MonoType (MONO_TYPE_*) that the entry-point check needs.
inline constexpr int kMonoTypeI4 = 0x08;
inline constexpr int kMonoTypeString = 0x0e;

// X(name, result, parameters): every entry point the runtime host calls.
#define MORVIK_MONO_FUNCTIONS(X)                                                                  \
    X(mono_set_rootdir, void, ())                                                                 \
    X(mono_set_dirs, void, (const char* assemblyDir, const char* configDir))                      \
    X(mono_assembly_getrootdir, const char*, ())                                                  \
    X(mono_config_parse, void, (const char* fileName))                                            \
    X(mono_set_signal_chaining, void, (int32_t chainSignals))                                     \
    X(mono_set_crash_chaining, void, (int32_t chainCrashes))                                      \
    X(mini_parse_debug_option, int32_t, (const char* option))                                     \
    X(mono_domain_get, MonoDomain*, ())                                                           \
    X(mono_jit_info_table_find, MonoJitInfo*, (MonoDomain * domain, void* address))               \
    X(mono_jit_init_version, MonoDomain*, (const char* domainName, const char* runtimeVersion))   \
    X(mono_get_root_domain, MonoDomain*, ())                                                      \
    X(mono_domain_set_config, void, (MonoDomain * domain, const char* baseDir, const char* file)) \
    X(mono_dllmap_insert, void,                                                                   \
      (MonoImage * image, const char* dll, const char* func, const char* tdll, const char* tfunc)) \
    X(mono_thread_attach, MonoThread*, (MonoDomain * domain))                                     \
    X(mono_thread_detach, void, (MonoThread * thread))                                            \
    X(mono_threads_enter_gc_unsafe_region, void*, (void** stackData))                             \
    X(mono_threads_exit_gc_unsafe_region, void, (void* cookie, void** stackData))                 \
    X(mono_domain_assembly_open, MonoAssembly*, (MonoDomain * domain, const char* path))          \
    X(mono_assembly_get_image, MonoImage*, (MonoAssembly * assembly))                             \
    X(mono_class_from_name, MonoClass*, (MonoImage * image, const char* nameSpace, const char* name)) \
    X(mono_class_get_method_from_name, MonoMethod*, (MonoClass * klass, const char* name, int count)) \
    X(mono_method_signature, MonoMethodSignature*, (MonoMethod * method))                         \
    X(mono_signature_is_instance, int32_t, (MonoMethodSignature * signature))                     \
    X(mono_signature_get_param_count, uint32_t, (MonoMethodSignature * signature))                \
    X(mono_signature_get_params, MonoType*, (MonoMethodSignature * signature, void** iterator))   \
    X(mono_signature_get_return_type, MonoType*, (MonoMethodSignature * signature))               \
    X(mono_type_get_type, int, (MonoType * type))                                                 \
    X(mono_string_new_utf16, MonoString*, (MonoDomain * domain, const char16_t* text, int32_t length)) \
    X(mono_runtime_invoke, MonoObject*,                                                           \
      (MonoMethod * method, void* object, void** params, MonoObject** exception))                 \
    X(mono_object_unbox, void*, (MonoObject * object))

// The loaded library and its entry points; only ever complete: every member
// is non-null.
struct MonoApi {
#define MORVIK_MONO_POINTER(name, result, parameters) result(*name) parameters = nullptr;
    MORVIK_MONO_FUNCTIONS(MORVIK_MONO_POINTER)
#undef MORVIK_MONO_POINTER
};

// Loads `libraryName` with dlopen and resolves every entry point. Null when
// the library or any of them is missing. The library is never unloaded: Mono
// cannot be shut down and started again within a process.
std::unique_ptr<const MonoApi> LoadMonoApi(const std::string& libraryName);
