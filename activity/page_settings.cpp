// SPDX-License-Identifier: GPL-2.0-or-later
#include "activity/page_settings.h"

#include "activity/page_access.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Why the text is not page settings; empty when it is.
std::string Fault(const std::string& text, PageSettings& settings) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return "not a JSON object";
    const auto port = json.find("port");
    if (port == json.end() || !port->is_number_unsigned() || port->get<uint64_t>() > 65535)
        return "no port from 0 to 65535";
    const auto token = json.find("token");
    if (token == json.end() || !token->is_string() || !IsPageToken(token->get<std::string>()))
        return "no token of 32 hexadecimal digits";
    settings.port = static_cast<uint16_t>(port->get<uint64_t>());
    settings.token = token->get<std::string>();
    return {};
}

PageSettings Fresh(std::string& problem) {
    PageSettings settings;
    settings.token = NewPageToken();
    if (settings.token.empty())
        problem += std::string(problem.empty() ? "" : "; ") + "the kernel gave no random bytes for the page's token";
    return settings;
}

}  // namespace

PageSettings LoadPageSettings(const std::string& path, std::string& problem) {
    problem.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fresh(problem);
    std::ostringstream text;
    text << file.rdbuf();
    PageSettings settings;
    const std::string fault = Fault(text.str(), settings);
    if (fault.empty()) return settings;
    const std::string aside = path + ".broken";
    std::error_code renamed;
    std::filesystem::rename(path, aside, renamed);
    problem = "the gift activity page's settings in " + path + " could not be read (" + fault + "): " +
              (renamed ? "it could not be moved aside (" + renamed.message() + ") and is left as it is"
                       : "kept as " + aside) +
              "; the page gets a new address";
    return Fresh(problem);
}

bool SavePageSettings(const std::string& path, const PageSettings& settings, std::string& error) {
    std::error_code made;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, made);
    if (made) {
        error = "cannot make " + folder.string() + ": " + made.message();
        return false;
    }
    const std::string text = nlohmann::json{{"port", settings.port}, {"token", settings.token}}.dump() + "\n";
    const std::string temporary = path + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    const int writeErrno = errno;
    close(fd);
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
