// SPDX-License-Identifier: GPL-2.0-or-later
// A client of the gift endpoint and of the gift activity page for tests and
// benchmarks: libcurl, a stock HTTP client, posting on one kept-alive
// connection per GiftClient, plus the pieces a hostile client is made of (a
// raw socket that sends what it is told and stalls), a reader of the page's
// event stream, a free loopback port to listen on, and a reader of the
// record files the endpoint's channels write.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

struct HttpAnswer {
    long status = 0;  // 0 when no answer came
    std::string body;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string error;                           // libcurl's, when the exchange did not finish
};

class GiftClient {
public:
    GiftClient();
    ~GiftClient();
    GiftClient(const GiftClient&) = delete;
    GiftClient& operator=(const GiftClient&) = delete;

    // A request to `url`; `headers` are "Name: value" lines that replace
    // libcurl's own (an empty value, "Name:", removes a header).
    HttpAnswer Send(const std::string& method, const std::string& url, const std::string& body = "",
                    const std::vector<std::string>& headers = {});
    HttpAnswer PostJson(const std::string& url, const std::string& json, const std::vector<std::string>& headers = {});

private:
    void* curl_;
};

// A port on 127.0.0.1 that nothing listened on a moment ago.
int FreeLoopbackPort();

// A connection to 127.0.0.1:`port` that writes raw bytes; closed with it.
class RawConnection {
public:
    explicit RawConnection(int port);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    bool Connected() const { return fd_ >= 0; }
    bool Write(const std::string& bytes);
    // What arrives within `seconds`, up to the peer's close (`closed` then
    // set, when given).
    std::string ReadFor(double seconds, bool* closed = nullptr);

private:
    int fd_ = -1;
};

// Binds and listens on 127.0.0.1:`port` for its life, as another program
// holding the port would.
class PortHolder {
public:
    explicit PortHolder(int port);
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool Holding() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A Server-Sent Events stream read on a raw connection: GET `path` from
// 127.0.0.1:`port` as HTTP/1.0, so that the events come unchunked.
class EventStreamReader {
public:
    EventStreamReader(int port, const std::string& path);
    bool Connected() const { return connection_.Connected(); }
    // The data (JSON) of the events named `name` read so far, once `count`
    // of them have come or 10 s have passed.
    std::vector<nlohmann::json> Events(const std::string& name, size_t count);
    // Everything read so far, the response's head included.
    const std::string& Text() const { return text_; }
    // Reads for `seconds`, up to the server's close; whether it closed.
    bool ClosedWithin(double seconds);

private:
    RawConnection connection_;
    std::string text_;
};

// True when something accepts connections on 127.0.0.1:`port`.
bool SomethingListensOn(int port);

// The lines of the gift record files (gifts-*.tsv) in `folder`, each split
// at its tabs.
std::vector<std::vector<std::string>> ReadGiftRecords(const std::string& folder);
