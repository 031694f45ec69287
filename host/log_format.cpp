// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/log_format.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace {

// Widths and precisions beyond this are clamped, so a bad format cannot make
// a line of gigabytes.
constexpr long kMaxFieldWidth = 4096;

template <typename T>
void AppendPrintf(std::u16string& out, const std::string& directive, T value) {
    char small[128];
    const int n = std::snprintf(small, sizeof small, directive.c_str(), value);
    if (n < 0) return;
    std::string big;
    const char* text = small;
    if (static_cast<size_t>(n) >= sizeof small) {
        big.resize(static_cast<size_t>(n) + 1);
        std::snprintf(big.data(), big.size(), directive.c_str(), value);
        text = big.c_str();
    }
    for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
}

// A decimal field (width or precision) of the format, or '*' read from the
// arguments.
long ReadField(CTSTR& p, va_list& args) {
    long value = 0;
    if (*p == u'*') {
        value = va_arg(args, int);
        ++p;
    } else {
        while (*p >= u'0' && *p <= u'9') value = std::min(value * 10 + (*p++ - u'0'), kMaxFieldWidth);
    }
    return std::clamp(value, -kMaxFieldWidth, kMaxFieldWidth);
}

// printf for UTF-16 formats. Conversions: %s (UTF-16 text; "(null)" for
// null), %c (a UTF-16 unit), %d %i %u %x %X %o, %f %F %e %E %g %G, %%; flags
// "-+ #0", a width and a precision (digits or '*'), and the sizes h, l, ll
// and z for the integer conversions. Anything else is written as it stands
// and consumes no argument.
void FormatInto(std::u16string& out, CTSTR format, va_list& args) {
    for (CTSTR p = format; *p; ++p) {
        if (*p != u'%') {
            out.push_back(*p);
            continue;
        }
        const CTSTR start = p++;
        std::string directive = "%";
        while (*p && std::u16string_view(u"-+ #0").find(*p) != std::u16string_view::npos) directive += static_cast<char>(*p++);
        const bool leftAlign = directive.find('-') != std::string::npos;
        long width = 0, precision = -1;
        if (*p == u'*' || (*p >= u'0' && *p <= u'9')) {
            width = ReadField(p, args);
            directive += std::to_string(width);  // a negative width left-aligns, as in printf
        }
        if (*p == u'.') {
            ++p;
            precision = ReadField(p, args);
            if (precision >= 0) directive += "." + std::to_string(precision);  // negative: as if none
        }
        int longs = 0;
        bool sizeT = false;
        for (; *p == u'l' || *p == u'h' || *p == u'z'; ++p) {
            if (*p == u'l') ++longs;
            if (*p == u'z') sizeT = true;
        }
        const char conversion = static_cast<char>(*p);
        switch (*p) {
            case u'%': out.push_back(u'%'); break;
            case u's': {
                CTSTR arg = va_arg(args, CTSTR);
                std::u16string_view text(arg ? arg : u"(null)");
                if (precision >= 0) text = text.substr(0, static_cast<size_t>(precision));
                const size_t pad = static_cast<size_t>(std::abs(width)) > text.size() ? std::abs(width) - text.size() : 0;
                if (!leftAlign && width >= 0) out.append(pad, u' ');
                out += text;
                if (leftAlign || width < 0) out.append(pad, u' ');
                break;
            }
            case u'c': out.push_back(static_cast<char16_t>(va_arg(args, int))); break;
            case u'd':
            case u'i':
                if (sizeT) AppendPrintf(out, directive + "zd", va_arg(args, ssize_t));
                else if (longs >= 2) AppendPrintf(out, directive + "lld", va_arg(args, long long));
                else if (longs == 1) AppendPrintf(out, directive + "ld", va_arg(args, long));
                else AppendPrintf(out, directive + "d", va_arg(args, int));
                break;
            case u'u':
            case u'x':
            case u'X':
            case u'o':
                if (sizeT) AppendPrintf(out, directive + "z" + conversion, va_arg(args, size_t));
                else if (longs >= 2) AppendPrintf(out, directive + "ll" + conversion, va_arg(args, unsigned long long));
                else if (longs == 1) AppendPrintf(out, directive + "l" + conversion, va_arg(args, unsigned long));
                else AppendPrintf(out, directive + conversion, va_arg(args, unsigned));
                break;
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G': AppendPrintf(out, directive + conversion, va_arg(args, double)); break;
            case 0: out.append(start, p); return;
            default: out.append(start, p + 1); break;
        }
    }
}

}  // namespace

String FormatLogText(CTSTR format, va_list args) {
    std::u16string out;
    if (!format) return String();
    // A copy of our own, so the fields can take the list by reference.
    va_list copy;
    va_copy(copy, args);
    FormatInto(out, format, copy);
    va_end(copy);
    return String(std::move(out));
}

