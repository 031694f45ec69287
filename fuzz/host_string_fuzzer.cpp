// SPDX-License-Identifier: GPL-2.0-or-later
// The host String operations on arbitrary UTF-16 text: token splitting,
// integer parsing, trimming, replacing, cutting and the UTF-8 conversions,
// each checked against what its contract says it gives.
#include "host/host_string.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// An unmet contract stops the fuzzer with the line that failed.
#define Check(condition) \
    do { \
        if (!(condition)) { \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition); \
            std::abort(); \
        } \
    } while (0)

// ToInt's contract written out plainly: optional sign, digits of the base,
// modulo 2^32.
int ReferenceToInt(const std::u16string& text, int base) {
    if (base < 2 || base > 36) return 0;
    size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) negative = text[i++] == u'-';
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        int digit = 99;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'a' && c <= u'z') digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'Z') digit = c - u'A' + 10;
        if (digit >= base) break;
        value = (value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit)) & 0xFFFFFFFFu;
    }
    if (negative) value = (0x100000000ull - value) & 0xFFFFFFFFu;
    return static_cast<int>(static_cast<uint32_t>(value));
}

bool Blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\u3000'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const char16_t separator = in.ConsumeBool() ? u'|' : in.ConsumeIntegral<char16_t>();
    const int index = in.ConsumeIntegralInRange<int>(-2, 40);
    const int base = in.ConsumeIntegralInRange<int>(-1, 40);
    const std::u16string needle = Utf8ToUtf16(in.ConsumeRandomLengthString(8));
    const std::u16string replacement = Utf8ToUtf16(in.ConsumeRandomLengthString(8));
    const size_t cut = in.ConsumeIntegralInRange<size_t>(0, 300);
    const std::string raw = in.ConsumeRemainingBytesAsString();
    // Half the inputs as raw UTF-16 units (lone surrogates, NULs), half as UTF-8.
    std::u16string units(raw.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) | static_cast<uint8_t>(raw[2 * i + 1]) << 8);
    const String text(raw.size() % 2 ? Utf8ToUtf16(raw) : units);
    const std::u16string& t = text.Text();

    // Tokens: the i-th token is the start of the text after the i-th
    // separator, up to the next separator or the end.
    const String token = text.GetToken(index, separator);
    const String rest = text.GetTokenOffset(index, separator);
    Check(rest.Text().compare(0, token.Length(), token.Text()) == 0);
    Check(token.Length() == rest.Length() || rest.Text()[token.Length()] == separator);
    Check(token.Text().find(separator) == std::u16string::npos);
    if (index == 0) Check(rest == text);

    Check(text.ToInt(base) == ReferenceToInt(t, base));

    String trimmed = text;
    trimmed.KillSpaces();
    Check(t.find(trimmed.Text()) != std::u16string::npos);
    Check(trimmed.IsEmpty() || (!Blank(trimmed.Text().front()) && !Blank(trimmed.Text().back())));

    String replaced = text;
    replaced.FindReplace(needle.c_str(), replacement.c_str());
    const std::u16string findable = needle.substr(0, needle.find(u'\0'));
    const std::u16string with = replacement.substr(0, replacement.find(u'\0'));
    if (findable.empty() || t.find(findable) == std::u16string::npos) Check(replaced == text);
    else if (findable == with) Check(replaced == text);
    else Check(replaced != text);

    Check(text.Left(cut).Length() == std::min(cut, t.size()));

    // UTF-8 round trips: one conversion makes any text valid, and valid text
    // comes back unchanged.
    const std::string utf8 = text.ToUtf8();
    const std::u16string back = Utf8ToUtf16(utf8);
    Check(Utf16ToUtf8(back) == utf8);
    Check(Utf8ToUtf16(Utf16ToUtf8(back)) == back);
    Check(String(utf8.c_str()).Text() == Utf8ToUtf16(std::string_view(utf8.c_str())));

    String joined = token;
    joined << rest << String(u"x") << index;
    Check(joined.Length() >= token.Length() + rest.Length() + 2);
    return 0;
}
