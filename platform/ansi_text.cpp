// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/ansi_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct IconvCloser {
    void operator()(void* converter) const { iconv_close(static_cast<iconv_t>(converter)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = u'\uFFFD';

Converter Open(const char* charset) {
    iconv_t converter = iconv_open(kUtf16, charset);
    return Converter(converter == reinterpret_cast<iconv_t>(-1) ? nullptr : converter);
}

// Opening a converter costs far more than converting one short block, so each
// thread keeps the last one it opened (an iconv_t must not be shared); null
// when iconv can open neither the charset nor UTF-8.
iconv_t ConverterFor(const std::string& charset) {
    thread_local std::string openedFor;
    thread_local Converter converter;
    if (!converter || openedFor != charset) {
        converter = Open(charset.c_str());
        if (!converter) converter = Open("UTF-8");
        openedFor = charset;
    }
    iconv_t raw = static_cast<iconv_t>(converter.get());
    if (raw) iconv(raw, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
    return raw;
}

}  // namespace

std::string AnsiCharset() {
    std::string charset = nl_langinfo(CODESET);
    return charset == "ANSI_X3.4-1968" ? "UTF-8" : charset;
}

std::u16string AnsiToUtf16(const char* text, size_t length) { return CharsetToUtf16(text, length, AnsiCharset()); }

std::u16string CharsetToUtf16(const char* text, size_t length, const std::string& charset) {
    if (!text || length == 0) return {};
    size_t inLeft = strnlen(text, length);
    if (inLeft == 0) return {};
    iconv_t converter = ConverterFor(charset);
    if (!converter) return {};  // not even UTF-8 available: iconv's modules are missing

    // One byte never makes more than one UTF-16 unit in the charsets locales
    // use, but the buffer grows if one ever does.
    std::u16string out(inLeft + 1, u'\0');
    size_t used = 0;  // UTF-16 units written
    char* in = const_cast<char*>(text);
    auto convert = [&](char** input, size_t* inputLeft) {
        char* outPtr = reinterpret_cast<char*>(out.data() + used);
        size_t outLeft = (out.size() - used) * sizeof(char16_t);
        size_t result = iconv(converter, input, inputLeft, &outPtr, &outLeft);
        int error = errno;
        used = out.size() - outLeft / sizeof(char16_t);
        return result == static_cast<size_t>(-1) ? error : 0;
    };
    auto reserve = [&](size_t units) {
        if (out.size() - used < units) out.resize(used + units);
    };

    while (inLeft > 0) {
        int error = convert(&in, &inLeft);
        if (error == 0) break;
        if (error == E2BIG) {
            out.resize(out.size() * 2 + 2);
            continue;
        }
        reserve(1);
        out[used++] = kReplacement;
        if (error != EILSEQ) break;  // EINVAL: the text ends inside a sequence
        ++in;
        --inLeft;
    }
    // Stateful charsets may owe a final character once the input is done.
    reserve(4);
    convert(nullptr, nullptr);
    out.resize(used);
    return out;
}
