// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/gift_client/gift_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::once_flag curlInit;

size_t AppendBody(char* data, size_t size, size_t count, void* answer) {
    static_cast<HttpAnswer*>(answer)->body.append(data, size * count);
    return size * count;
}

size_t KeepHeader(char* data, size_t size, size_t count, void* answer) {
    const std::string line(data, size * count);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t\r\n") + 1);
        static_cast<HttpAnswer*>(answer)->headers[name] = value;
    }
    return size * count;
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

GiftClient::GiftClient() {
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    curl_ = curl_easy_init();
}

GiftClient::~GiftClient() { curl_easy_cleanup(static_cast<CURL*>(curl_)); }

HttpAnswer GiftClient::Send(const std::string& method, const std::string& url, const std::string& body,
                            const std::vector<std::string>& headers) {
    CURL* curl = static_cast<CURL*>(curl_);
    HttpAnswer answer;
    curl_slist* list = nullptr;
    for (const std::string& header : headers) list = curl_slist_append(list, header.c_str());
    // No "Expect: 100-continue" round trip: the tests time what the
    // endpoint does, not libcurl's wait for it.
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer);
    if (method == "GET") {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    } else {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method == "POST" ? nullptr : method.c_str());
    }
    const CURLcode code = curl_easy_perform(curl);
    // An endpoint may answer a body it refuses before it has all of it and
    // close: libcurl then reports the send it could not finish, but the
    // answer came and is what the test asks about.
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    if (code != CURLE_OK) answer.error = curl_easy_strerror(code);
    curl_slist_free_all(list);
    return answer;
}

HttpAnswer GiftClient::PostJson(const std::string& url, const std::string& json, const std::vector<std::string>& headers) {
    std::vector<std::string> all = headers;
    all.insert(all.begin(), "Content-Type: application/json");
    return Send("POST", url, json, all);
}

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

RawConnection::RawConnection(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

RawConnection::~RawConnection() {
    if (fd_ >= 0) close(fd_);
}

bool RawConnection::Write(const std::string& bytes) {
    return fd_ >= 0 && send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawConnection::ReadFor(double seconds, bool* closed) {
    std::string received;
    if (closed) *closed = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd poller{fd_, POLLIN, 0};
        if (poll(&poller, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[4096];
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (closed) *closed = true;
            break;
        }
        received.append(buffer, static_cast<size_t>(got));
    }
    return received;
}

EventStreamReader::EventStreamReader(int port, const std::string& path) : connection_(port) {
    connection_.Write("GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
}

std::vector<nlohmann::json> EventStreamReader::Events(const std::string& name, size_t count) {
    const std::string marker = "event: " + name + "\ndata: ";
    std::vector<nlohmann::json> found;
    for (int round = 0; round < 100; ++round) {
        found.clear();
        for (size_t at = text_.find(marker); at != std::string::npos; at = text_.find(marker, at + 1)) {
            const size_t start = at + marker.size(), end = text_.find("\n\n", start);
            if (end == std::string::npos) break;
            found.push_back(nlohmann::json::parse(text_.substr(start, end - start), nullptr, false));
        }
        if (found.size() >= count) break;
        text_ += connection_.ReadFor(0.1);
    }
    return found;
}

bool EventStreamReader::ClosedWithin(double seconds) {
    bool closed = false;
    text_ += connection_.ReadFor(seconds, &closed);
    return closed;
}

PortHolder::PortHolder(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 4) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

PortHolder::~PortHolder() {
    if (fd_ >= 0) close(fd_);
}

bool SomethingListensOn(int port) { return RawConnection(port).Connected(); }

std::vector<std::vector<std::string>> ReadGiftRecords(const std::string& folder) {
    std::vector<std::vector<std::string>> lines;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        if (file.path().extension() != ".tsv") continue;
        std::ifstream in(file.path());
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            std::istringstream split(line);
            for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
            if (!line.empty() && line.back() == '\t') fields.push_back("");
            lines.push_back(fields);
        }
    }
    return lines;
}
