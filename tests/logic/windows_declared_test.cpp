// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly written as Windows code is written, run unchanged: its
// user32 imports, in every declaration style it uses, reach the platform
// library (asked of the runtime's own P/Invoke lookup), and the thanks texts
// its timer threads send are drawn.
#include "logic_test_support.h"

#include "source/morvik_thanks_image.h"

#include <dlfcn.h>

#include <map>

namespace logic_test {
namespace {

class WindowsDeclaredLogic : public LogicTest {
protected:
    void SetUp() override {
        LogicTest::SetUp();
        StopRuntime();
        ASSERT_EQ(StartRuntime(LOGIC_WINDOWS_DECLARED_ASSEMBLY), RuntimeStartOutcome::Started);
    }
};

// The runtime's answer to "where does this P/Invoke method go": the symbol
// and the library its lookup binds, keyed by Class.method.
std::map<std::string, std::pair<std::string, std::string>> ResolvedImports(const char* assemblyPath) {
    struct MonoDomain;
    struct MonoAssembly;
    struct MonoImage;
    struct MonoClass;
    struct MonoMethod;
    void* mono = dlopen("libmonosgen-2.0.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!mono) return {};
    auto get = [&](const char* name) { return dlsym(mono, name); };
    auto rootDomain = reinterpret_cast<MonoDomain* (*)()>(get("mono_get_root_domain"));
    auto openAssembly = reinterpret_cast<MonoAssembly* (*)(MonoDomain*, const char*)>(get("mono_domain_assembly_open"));
    auto imageOf = reinterpret_cast<MonoImage* (*)(MonoAssembly*)>(get("mono_assembly_get_image"));
    auto tableRows = reinterpret_cast<int (*)(MonoImage*, int)>(get("mono_image_get_table_rows"));
    auto classOf = reinterpret_cast<MonoClass* (*)(MonoImage*, uint32_t)>(get("mono_class_get"));
    auto className = reinterpret_cast<const char* (*)(MonoClass*)>(get("mono_class_get_name"));
    auto methods = reinterpret_cast<MonoMethod* (*)(MonoClass*, void**)>(get("mono_class_get_methods"));
    auto methodFlags = reinterpret_cast<uint32_t (*)(MonoMethod*, uint32_t*)>(get("mono_method_get_flags"));
    auto methodName = reinterpret_cast<const char* (*)(MonoMethod*)>(get("mono_method_get_name"));
    auto lookup = reinterpret_cast<void* (*)(MonoMethod*, const char**, const char**)>(get("mono_lookup_pinvoke_call"));
    auto enterUnsafe = reinterpret_cast<void* (*)(void**)>(get("mono_threads_enter_gc_unsafe_region"));
    auto exitUnsafe = reinterpret_cast<void (*)(void*, void**)>(get("mono_threads_exit_gc_unsafe_region"));

    constexpr int kTypeDefTable = 2;
    constexpr uint32_t kTypeDefToken = 0x02000000;
    constexpr uint32_t kPinvokeImpl = 0x2000;
    std::map<std::string, std::pair<std::string, std::string>> resolved;
    void* stackMark = nullptr;
    void* cookie = enterUnsafe(&stackMark);
    MonoImage* image = imageOf(openAssembly(rootDomain(), assemblyPath));
    for (int row = 1; row <= tableRows(image, kTypeDefTable); ++row) {
        MonoClass* type = classOf(image, kTypeDefToken | row);
        void* iterator = nullptr;
        while (MonoMethod* method = methods(type, &iterator)) {
            uint32_t implementationFlags = 0;
            if (!(methodFlags(method, &implementationFlags) & kPinvokeImpl)) continue;
            const char* exceptionClass = nullptr;
            const char* exceptionText = nullptr;
            void* address = lookup(method, &exceptionClass, &exceptionText);
            Dl_info info{};
            std::pair<std::string, std::string> where{"(not found)", exceptionClass ? exceptionClass : ""};
            if (address && dladdr(address, &info)) where = {info.dli_sname ? info.dli_sname : "?", info.dli_fname};
            resolved[std::string(className(type)) + "." + methodName(method)] = where;
        }
    }
    exitUnsafe(cookie, &stackMark);
    return resolved;
}

std::string PlatformLibrary() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&SendMessageW), &info);
    return fs::absolute(info.dli_fname).string();
}

TEST_F(WindowsDeclaredLogic, EveryUser32ImportResolvesToThePlatformLibraryUnderItsWindowsName) {
    const std::map<std::string, std::string> expected = {
        {"RefStructStyle.SendMessage", "SendMessage"},        // EntryPoint, "User32.dll"
        {"RefStructStyle.PostMessage", "PostMessage"},        // Ansi: the plain name first
        {"RefStructStyle.IsWindow", "IsWindow"},              // "user32"
        {"AnsiStringStyle.SendMessageA", "SendMessageA"},     // "USER32.DLL"
        {"AnsiStringStyle.PostMessageA", "PostMessageA"},     // "User32", EntryPoint
        {"UnicodePointerStyle.SendMessage", "SendMessageW"},  // Unicode: the W name first
        {"UnicodePointerStyle.PostMessage", "PostMessageW"},
        {"TimeoutStyle.SendMessageTimeout", "SendMessageTimeout"},
        {"TimeoutStyle.SendNotifyMessage", "SendNotifyMessage"},
        {"TimeoutStyle.PostMessage", "PostMessage"},
        {"TimeoutStyle.GetWindowThreadProcessId", "GetWindowThreadProcessId"},
        {"TimeoutStyle.FindWindow", "FindWindowW"},
        {"TimeoutStyle.FindWindowEx", "FindWindowEx"},
    };
    const auto resolved = ResolvedImports(LOGIC_WINDOWS_DECLARED_ASSEMBLY);
    ASSERT_EQ(resolved.size(), expected.size() + 1);
    const std::string platform = PlatformLibrary();
    for (const auto& [method, symbol] : expected) {
        auto found = resolved.find(method);
        ASSERT_NE(found, resolved.end()) << method;
        EXPECT_EQ(found->second.first, symbol) << method;
        EXPECT_EQ(fs::absolute(found->second.second).string(), platform) << method;
    }
    // A user32 function the platform does not offer fails loudly; it never
    // reaches one of the runtime's stand-ins that pretend.
    auto other = resolved.find("TimeoutStyle.SetWindowPos");
    ASSERT_NE(other, resolved.end());
    EXPECT_EQ(other->second, std::make_pair(std::string("(not found)"), std::string("EntryPointNotFoundException")));
}

TEST_F(WindowsDeclaredLogic, EachDeclarationStyleSendsItsTextFromATimerThreadAndItIsDrawn) {
    struct Style {
        std::string text;
        int32_t asciiMode;  // the switch the style posted before its text
    };
    const std::vector<Style> styles = {
        {"引用结构 IsWindow=True", 0},
        {"ANSI文字 感谢", 1},
        {"宽字符指针 感谢", 0},
        {"超时发送 本进程=True 找到=False 通知=True", 0},
    };
    for (size_t i = 0; i < styles.size(); ++i) {
        SCOPED_TRACE(styles[i].text);
        XElement* data = NewSourceElement(("style" + std::to_string(i)).c_str())->CreateElement(u"data");
        SourcePtr source(CreateThanksSource(data));
        source->BeginScene();
        ASSERT_TRUE(PumpUntil([&] { return !Entry().text.IsEmpty(); }));
        EXPECT_EQ(Entry().text.ToUtf8(), styles[i].text);
        EXPECT_EQ(asciiMode, styles[i].asciiMode);
        EXPECT_EQ(data->GetInt(u"usingASCII"), styles[i].asciiMode);

        source->Preprocess();
        EXPECT_EQ(displayText.ToUtf8(), styles[i].text);
        const SourceTexture& texture = static_cast<MorvikThanksImage&>(*source).TextureState();
        ASSERT_NE(texture.texture, nullptr);
        graphics.ClearCanvas(0);
        source->Render({0, 0}, source->GetSize());
        EXPECT_EQ(graphics.WriteCanvasPng((folder_ / ("style" + std::to_string(i) + ".png")).string()), "");
        EXPECT_GT(CanvasInkRight(), texture.width / 2) << "ink across the text, not a glyph or two";
        source->EndScene();
    }
}

}  // namespace
}  // namespace logic_test
