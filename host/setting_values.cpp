// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/setting_values.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

bool ParseLeadingDouble(const std::string& text, double& value) {
    size_t i = text.find_first_not_of(" \t\r\n");
    if (i == std::string::npos) return false;
    if (text[i] == '+') ++i;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    return ec == std::errc();
}

}  // namespace

int IntOfStoredDouble(double value, int defaultValue) {
    if (!std::isfinite(value) || value >= 9.2e18 || value <= -9.2e18) return defaultValue;
    return static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(value)));
}

int IntOfStoredText(const std::string& utf8, int defaultValue) {
    String text(utf8.c_str());
    text.KillSpaces();
    const char16_t first = text.IsEmpty() ? 0 : text.Array()[0];
    const bool numeric = (first >= u'0' && first <= u'9') ||
                         ((first == u'-' || first == u'+') && text.Length() > 1 && text.Array()[1] >= u'0' &&
                          text.Array()[1] <= u'9');
    return numeric ? text.ToInt(10) : defaultValue;
}

// Floats outside what a float holds (and "inf"/"nan" texts) give the default,
// so a source never lays out with an infinite size.
float FloatOfStoredDouble(double value, float defaultValue) {
    return std::isfinite(value) && std::abs(value) <= std::numeric_limits<float>::max() ? static_cast<float>(value)
                                                                                          : defaultValue;
}

float FloatOfStoredText(const std::string& utf8, float defaultValue) {
    double value = 0;
    return ParseLeadingDouble(utf8, value) ? FloatOfStoredDouble(value, defaultValue) : defaultValue;
}

String TextOfStoredDouble(double value, CTSTR defaultValue) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? String(std::string(buffer, end).c_str()) : String(defaultValue);
}

double FloatForStorage(float value) {
    if (!std::isfinite(value)) return static_cast<double>(value);
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    double stored = value;
    if (ec == std::errc()) std::from_chars(buffer, end, stored);
    return stored;
}
