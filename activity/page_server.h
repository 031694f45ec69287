// SPDX-License-Identifier: GPL-2.0-or-later
// The gift activity page over HTTP, on 127.0.0.1 only, with libmicrohttpd:
// a small, long-standing embeddable server that runs on threads of its own
// (none of the host's threads serves a request) and that can hold a
// connection open for a stream of events. Everything lives under /TOKEN/:
//   GET  /TOKEN/             the page (index.html), with app.js and style.css
//   GET  /TOKEN/api/state    the log's snapshot, with "locale" and "url"
//   GET  /TOKEN/events       Server-Sent Events: "snapshot" first (and again
//                            after rows were missed), then "gift" for each
//                            new row and "sources" when the sources' state or
//                            the totals change; a comment every 15 s
//   POST /TOKEN/api/control  {"source", "action", "gift_id"}: the control's
//                            own JSON answer
// Server-Sent Events rather than a WebSocket: the page only listens, its
// controls are plain POSTs, and a browser reconnects an event stream by
// itself; it is plain HTTP, which the library serves as it is.
// Refused: a Host other than the loopback address and port (403), a wrong
// or missing token (401), a POST whose Origin is another page's (403),
// another method (405), a body over kMaxBody (413), other paths (404). No
// response carries CORS headers.
#pragma once

#include "activity/activity_log.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct MHD_Daemon;

class PageServer {
public:
    static constexpr size_t kMaxBody = 4096;

    struct ControlAnswer {
        int status = 200;
        std::string json;
    };
    // Runs `action` ("test", "skip", "pause", "resume", "clear", "again") on
    // the source named `source`, `giftId` the decimal gift_id for "again";
    // on a connection's thread, which may wait for it.
    using ControlHandler =
        std::function<ControlAnswer(const std::string& source, const std::string& action, const std::string& giftId)>;

    struct Options {
        uint16_t port = 0;  // 0: any free port
        std::string token;
        // Where index.html, app.js and style.css are.
        std::string pageFolder;
        // OBS's locale, for the page's labels ("zh-CN", "en-US", …).
        std::string locale;
        ControlHandler control;
    };

    // Listens on 127.0.0.1:`options.port` and serves `log`; null with
    // `error` when it cannot (the port taken, the page's files missing).
    // The log is closed when the server stops: it serves one server.
    static std::unique_ptr<PageServer> Start(ActivityLog& log, Options options, std::string& error);
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    uint16_t Port() const { return port_; }
    // http://127.0.0.1:PORT/TOKEN/
    std::string Url() const;

    // A request's state across libmicrohttpd's calls.
    struct Request;

private:
    PageServer(ActivityLog& log, Options options);

    int Handle(struct MHD_Connection* connection, const std::string& url, const std::string& method,
               const Request& request);
    int Route(struct MHD_Connection* connection, const std::string& resource, const std::string& method,
              const Request& request);
    int Control(struct MHD_Connection* connection, const std::string& body);
    int Events(struct MHD_Connection* connection);
    std::string SnapshotText(const nlohmann::json& snapshot) const;

    ActivityLog& log_;
    Options options_;
    uint16_t port_ = 0;
    std::string index_, script_, style_;
    MHD_Daemon* daemon_ = nullptr;

    friend struct EventStream;
    friend struct PageServerCallbacks;
};
