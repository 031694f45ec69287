// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/host_string.h"

#include <cstring>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x3000; }

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'z') return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
    return 99;
}

size_t Utf16Length(CTSTR text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const auto b = static_cast<unsigned char>(in[i]);
        uint32_t cp = 0;
        size_t need = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F, need = 1, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F, need = 2, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07, need = 3, min = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= need && i + j < in.size(); ++j) {
            const auto c = static_cast<unsigned char>(in[i + j]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (j <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // A broken sequence: one replacement for the lead byte, then
            // resynchronise on the byte that broke it.
            out.push_back(kReplacement);
            i += (j > 1 && j <= need) ? j : 1;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += need + 1;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size() * 3);
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

String::String(CTSTR text) : text_(text ? text : u"", Utf16Length(text)) {}

String::String(CTSTR text, size_t length) : text_(text ? std::u16string(text, length) : std::u16string()) {}

bool IsUtf8(std::string_view text) {
    // Whatever is not well-formed becomes U+FFFD on the way in, or (a lone
    // surrogate) on the way out, and so does not come back the same.
    return Utf16ToUtf8(Utf8ToUtf16(text)) == text;
}

String::String(const char* utf8) : text_(utf8 ? Utf8ToUtf16(utf8) : std::u16string()) {}

std::string String::ToUtf8() const { return Utf16ToUtf8(text_); }

bool String::operator==(CTSTR other) const { return text_ == std::u16string_view(other ? other : u""); }

String& String::operator<<(const String& more) {
    text_ += more.text_;
    return *this;
}

String& String::operator<<(CTSTR more) {
    if (more) text_ += more;
    return *this;
}

String& String::operator<<(int value) {
    // Through a 64-bit magnitude so that INT_MIN is written correctly.
    int64_t v = value;
    const bool negative = v < 0;
    uint64_t magnitude = negative ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
    char16_t digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative) text_.push_back(u'-');
    while (n) text_.push_back(digits[--n]);
    return *this;
}

String String::operator+(const String& more) const {
    String result(*this);
    result << more;
    return result;
}

String String::Left(size_t count) const { return String(text_.substr(0, count)); }

namespace {

// Where the text after the index-th separator starts, or npos when the text
// has fewer separators.
size_t TokenStart(const std::u16string& text, int index, char16_t separator) {
    if (index < 0) return std::u16string::npos;
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t bar = text.find(separator, start);
        if (bar == std::u16string::npos) return std::u16string::npos;
        start = bar + 1;
    }
    return start;
}

}  // namespace

String String::GetToken(int index, char16_t separator) const {
    const size_t start = TokenStart(text_, index, separator);
    if (start == std::u16string::npos) return String();
    const size_t end = text_.find(separator, start);
    return String(text_.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
}

String String::GetTokenOffset(int index, char16_t separator) const {
    const size_t start = TokenStart(text_, index, separator);
    return start == std::u16string::npos ? String() : String(text_.substr(start));
}

int String::ToInt(int base) const {
    if (base < 2 || base > 36) return 0;
    size_t i = 0;
    bool negative = false;
    if (i < text_.size() && (text_[i] == u'-' || text_[i] == u'+')) negative = text_[i++] == u'-';
    uint32_t value = 0;  // unsigned: wraps modulo 2^32 by definition
    for (; i < text_.size(); ++i) {
        const int digit = DigitValue(text_[i]);
        if (digit >= base) break;
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

String& String::FindReplace(CTSTR find, CTSTR replacement) {
    const std::u16string_view needle(find ? find : u"");
    if (needle.empty()) return *this;
    const std::u16string_view with(replacement ? replacement : u"");
    std::u16string result;
    size_t start = 0;
    for (size_t at; (at = text_.find(needle, start)) != std::u16string::npos; start = at + needle.size()) {
        result.append(text_, start, at - start);
        result.append(with);
    }
    result.append(text_, start);
    text_ = std::move(result);
    return *this;
}

String& String::KillSpaces() {
    size_t begin = 0;
    size_t end = text_.size();
    while (begin < end && IsBlank(text_[begin])) ++begin;
    while (end > begin && IsBlank(text_[end - 1])) --end;
    text_ = text_.substr(begin, end - begin);
    return *this;
}

void scpy_n(char16_t* dest, CTSTR source, size_t count) {
    if (!dest) return;
    size_t i = 0;
    if (source)
        for (; i < count && source[i]; ++i) dest[i] = source[i];
    dest[i] = 0;
}
