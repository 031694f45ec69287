// SPDX-License-Identifier: GPL-2.0-or-later
// The host's wide text type: UTF-16 characters with a length, plus the string
// operations plug-ins rely on (token splitting, integer parsing, trimming).
#pragma once

#include "host/host_types.h"

#include <string>
#include <string_view>
#include <vector>

class String {
public:
    String() = default;
    String(CTSTR text);                       // up to the first NUL; null gives ""
    String(CTSTR text, size_t length);        // exactly `length` units
    String(const char* utf8);                 // invalid bytes become U+FFFD
    String(std::u16string text) : text_(std::move(text)) {}

    String& operator=(CTSTR text) { return *this = String(text); }

    // Text up to the stored length; never null.
    CTSTR Array() const { return text_.c_str(); }
    size_t Length() const { return text_.size(); }
    // Empty as the host counts it: no characters, or a NUL first character.
    bool IsEmpty() const { return text_.empty() || text_[0] == 0; }
    const std::u16string& Text() const { return text_; }
    std::string ToUtf8() const;               // lone surrogates become U+FFFD

    bool operator==(const String& other) const { return text_ == other.text_; }
    bool operator==(CTSTR other) const;

    String& operator<<(const String& more);
    String& operator<<(CTSTR more);
    String& operator<<(int value);            // signed decimal, no leading zeros
    String operator+(const String& more) const;

    // The first `count` characters; the whole text when it is shorter.
    String Left(size_t count) const;

    // Tokens split on `separator`; repeated separators give empty tokens.
    // GetToken(i) is the i-th token, or "" when there are fewer.
    // GetTokenOffset(i) is everything after the i-th separator (further
    // separators included), or "" when there are fewer than i separators.
    String GetToken(int index, char16_t separator) const;
    String GetTokenOffset(int index, char16_t separator) const;

    // Optional sign, then the digits of `base` (2 to 36, letters either case);
    // stops at the first other character; no digits gives 0. The value is kept
    // modulo 2^32, so "4294901760" and "-65536" both read as -65536.
    int ToInt(int base = 10) const;

    // Replaces every occurrence of `find` (non-empty) by `replacement`.
    String& FindReplace(CTSTR find, CTSTR replacement);

    // Removes leading and trailing spaces, tabs, CR, LF and U+3000.
    String& KillSpaces();

private:
    std::u16string text_;
};

class StringList : public std::vector<String> {
public:
    using std::vector<String>::vector;
    void Add(const String& s) { push_back(s); }
    size_t Num() const { return size(); }
};

// Copies at most `count` characters of `source` into `dest` and terminates
// it; `dest` must hold count + 1 characters.
void scpy_n(char16_t* dest, CTSTR source, size_t count);

// UTF-8 <-> UTF-16 helpers used by the host and its plug-ins.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Whether `text` is well-formed UTF-8 (no stray, overlong or surrogate bytes).
bool IsUtf8(std::string_view text);
