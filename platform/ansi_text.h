// SPDX-License-Identifier: GPL-2.0-or-later
// 8-bit text in the process locale's character set converted to UTF-16: what
// the ANSI code page conversion (MultiByteToWideChar with CP_ACP) does on
// Windows, done here with iconv.
#pragma once

#include "platform/message_window.h"

#include <cstddef>
#include <string>

// The character set of the process locale (LC_CTYPE, as the process last set
// it with setlocale), or UTF-8 when that is plain ASCII (the "C" locale): text
// from a logic assembly is never restricted to 7 bits.
MORVIK_PLATFORM_API std::string AnsiCharset();

// Converts the text up to its first zero byte, reading at most `length` bytes,
// from the locale's character set. Bytes that are not valid there, and a
// sequence cut off by the end, become U+FFFD. Null text gives an empty result.
MORVIK_PLATFORM_API std::u16string AnsiToUtf16(const char* text, size_t length);

// The same from a character set named as iconv names it; a name iconv does not
// know is read as UTF-8.
MORVIK_PLATFORM_API std::u16string CharsetToUtf16(const char* text, size_t length, const std::string& charset);
