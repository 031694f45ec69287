// SPDX-License-Identifier: GPL-2.0-or-later
#include "activity/page_access.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr size_t kTokenBytes = 16;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// "NAME:PORT" with NAME 127.0.0.1 or localhost.
bool IsLoopbackAuthority(std::string_view authority, uint16_t port) {
    const std::string suffix = ":" + std::to_string(port);
    if (authority.size() <= suffix.size() || authority.substr(authority.size() - suffix.size()) != suffix) return false;
    const std::string_view name = authority.substr(0, authority.size() - suffix.size());
    return name == "127.0.0.1" || EqualsIgnoringCase(name, "localhost");
}

}  // namespace

std::string NewPageToken() {
    std::array<unsigned char, kTokenBytes> bytes{};
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got <= 0) return {};
        filled += static_cast<size_t>(got);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 15];
    }
    return token;
}

bool IsPageToken(std::string_view token) {
    return token.size() == 2 * kTokenBytes &&
           std::all_of(token.begin(), token.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool TokenMatches(std::string_view given, std::string_view token) {
    if (given.size() != token.size() || token.empty()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

bool IsLoopbackHost(std::string_view host, uint16_t port) { return IsLoopbackAuthority(host, port); }

bool IsPageOrigin(std::string_view origin, uint16_t port) {
    constexpr std::string_view scheme = "http://";
    return origin.substr(0, scheme.size()) == scheme && IsLoopbackAuthority(origin.substr(scheme.size()), port);
}
