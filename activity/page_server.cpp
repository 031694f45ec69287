// SPDX-License-Identifier: GPL-2.0-or-later
#include "activity/page_server.h"

#include "activity/page_access.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>

namespace {

using Json = nlohmann::json;

constexpr unsigned kConnectionLimit = 32;
// Seconds a connection may stay silent; the event stream speaks every
// kKeepAlive.
constexpr unsigned kConnectionTimeout = 60;
constexpr std::chrono::seconds kKeepAlive{15};
// A body is read to this size at most before it is refused: past it the
// connection is closed rather than drained.
constexpr size_t kDrainedBody = 64 * 1024;

constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self' data:; "
    "base-uri 'none'; form-action 'none'";

bool ReadWhole(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream read;
    read << file.rdbuf();
    text = read.str();
    return true;
}

// What every answer carries: nothing cached (the token is in the address),
// no sniffing, no referrer.
void AddCommonHeaders(MHD_Response* response, const char* type) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
}

MHD_Result Reply(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                 const char* allow = nullptr) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    AddCommonHeaders(response, type);
    if (std::string_view(type).starts_with("text/html"))
        MHD_add_response_header(response, "Content-Security-Policy", kPagePolicy);
    if (allow) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result ReplyJson(MHD_Connection* connection, unsigned status, const std::string& json) {
    return Reply(connection, status, json, "application/json; charset=utf-8");
}

MHD_Result Refuse(MHD_Connection* connection, unsigned status, const std::string& why, const char* allow = nullptr) {
    return Reply(connection, status, PageJsonText(Json{{"error", why}}), "application/json; charset=utf-8", allow);
}

const char* Header(MHD_Connection* connection, const char* name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

}  // namespace

// Its body as it arrives, kept up to kMaxBody.
struct PageServer::Request {
    std::string body;
    size_t bodyBytes = 0;
};

// One page's event stream, read by libmicrohttpd on the connection's own
// thread, which waits here for the log to change.
struct EventStream {
    PageServer& server;
    ActivityLog::Cursor cursor;
    std::string pending;
    size_t sent = 0;
    bool started = false;

    void Snapshot() {
        Json snapshot;
        cursor = server.log_.Start(snapshot);
        pending += "event: snapshot\ndata: " + server.SnapshotText(snapshot) + "\n\n";
    }

    ssize_t Read(char* buffer, size_t max) {
        while (sent == pending.size()) {
            pending.clear();
            sent = 0;
            if (!started) {
                started = true;
                // A page that lost the stream asks again after 2 s.
                pending = "retry: 2000\n";
                Snapshot();
                break;
            }
            ActivityLog::Changes changes;
            if (!server.log_.WaitForChanges(cursor, changes, kKeepAlive)) return MHD_CONTENT_READER_END_OF_STREAM;
            if (changes.missedRows) Snapshot();
            for (const std::string& row : changes.rows) pending += "event: gift\ndata: " + row + "\n\n";
            if (changes.sources && !changes.missedRows) pending += "event: sources\ndata: " + *changes.sources + "\n\n";
            if (pending.empty()) pending = ": keep-alive\n\n";
        }
        const size_t count = std::min(max, pending.size() - sent);
        pending.copy(buffer, count, sent);
        sent += count;
        return static_cast<ssize_t>(count);
    }
};

namespace {

ssize_t ReadEventStream(void* stream, uint64_t, char* buffer, size_t max) {
    return static_cast<EventStream*>(stream)->Read(buffer, max);
}

void FreeEventStream(void* stream) { delete static_cast<EventStream*>(stream); }

}  // namespace

struct PageServerCallbacks {
    static MHD_Result Access(void* server, MHD_Connection* connection, const char* url, const char* method,
                             const char*, const char* uploadData, size_t* uploadSize, void** state) {
        auto* request = static_cast<PageServer::Request*>(*state);
        if (!request) {
            *state = new PageServer::Request;
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            request->bodyBytes += *uploadSize;
            if (request->bodyBytes <= PageServer::kMaxBody) request->body.append(uploadData, *uploadSize);
            *uploadSize = 0;
            if (request->bodyBytes <= kDrainedBody) return MHD_YES;
        }
        return static_cast<PageServer*>(server)->Handle(connection, url, method, *request) ? MHD_YES : MHD_NO;
    }

    static void Completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
        delete static_cast<PageServer::Request*>(*state);
        *state = nullptr;
    }
};

PageServer::PageServer(ActivityLog& log, Options options) : log_(log), options_(std::move(options)) {}

std::unique_ptr<PageServer> PageServer::Start(ActivityLog& log, Options options, std::string& error) {
    std::unique_ptr<PageServer> server(new PageServer(log, std::move(options)));
    const std::string& folder = server->options_.pageFolder;
    if (!ReadWhole(folder + "/index.html", server->index_) || !ReadWhole(folder + "/app.js", server->script_) ||
        !ReadWhole(folder + "/style.css", server->style_)) {
        error = "the page's files (index.html, app.js, style.css) are missing from " + folder +
                ": reinstall the plug-in";
        return nullptr;
    }
    if (!IsPageToken(server->options_.token)) {
        error = "the page has no token";
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server->options_.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server->daemon_ = MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO, server->options_.port,
        nullptr, nullptr, &PageServerCallbacks::Access, server.get(), MHD_OPTION_SOCK_ADDR, &address,
        MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeout,
        MHD_OPTION_NOTIFY_COMPLETED, &PageServerCallbacks::Completed, nullptr, MHD_OPTION_END);
    if (!server->daemon_) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(server->options_.port) +
                (server->options_.port ? " (is another program, or another OBS, using that port?)" : "");
        return nullptr;
    }
    const MHD_DaemonInfo* bound = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT);
    server->port_ = bound ? bound->port : server->options_.port;
    return server;
}

PageServer::~PageServer() {
    // The event streams wait on the log: closing it ends them, and only then
    // can the connections' threads be joined.
    log_.Close();
    if (daemon_) MHD_stop_daemon(daemon_);
}

std::string PageServer::Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + options_.token + "/";
}

std::string PageServer::SnapshotText(const Json& snapshot) const {
    Json whole = snapshot;
    whole["locale"] = options_.locale;
    whole["url"] = Url();
    return PageJsonText(whole);
}

int PageServer::Handle(MHD_Connection* connection, const std::string& url, const std::string& method,
                       const Request& request) {
    const char* host = Header(connection, MHD_HTTP_HEADER_HOST);
    if (!host || !IsLoopbackHost(host, port_))
        return Refuse(connection, MHD_HTTP_FORBIDDEN, "this page answers only at 127.0.0.1:" + std::to_string(port_));
    // "/TOKEN/RESOURCE"
    const size_t slash = url.find('/', 1);
    const std::string given = url.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    if (url.empty() || url[0] != '/' || !TokenMatches(given, options_.token))
        return Refuse(connection, MHD_HTTP_UNAUTHORIZED,
                      "this address lacks the page's token: open the page from OBS's Tools menu");
    if (request.bodyBytes > kMaxBody)
        return Refuse(connection, MHD_HTTP_CONTENT_TOO_LARGE,
                      "a request's body may be at most " + std::to_string(kMaxBody) + " bytes");
    if (slash == std::string::npos) {
        // The page's links are relative to /TOKEN/.
        MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        if (!response) return MHD_NO;
        AddCommonHeaders(response, "text/plain");
        MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, (url + "/").c_str());
        const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_PERMANENT_REDIRECT, response);
        MHD_destroy_response(response);
        return queued;
    }
    return Route(connection, url.substr(slash + 1), method, request);
}

int PageServer::Route(MHD_Connection* connection, const std::string& resource, const std::string& method,
                      const Request& request) {
    const bool reads = method == MHD_HTTP_METHOD_GET || method == MHD_HTTP_METHOD_HEAD;
    if (resource == "api/control") {
        if (method != MHD_HTTP_METHOD_POST)
            return Refuse(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "controls are POSTed", "POST");
        const char* origin = Header(connection, "Origin");
        if (origin && !IsPageOrigin(origin, port_))
            return Refuse(connection, MHD_HTTP_FORBIDDEN, "controls are taken from this page only");
        return Control(connection, request.body);
    }
    const std::string* file = nullptr;
    const char* type = nullptr;
    if (resource.empty()) {
        file = &index_;
        type = "text/html; charset=utf-8";
    } else if (resource == "app.js") {
        file = &script_;
        type = "text/javascript; charset=utf-8";
    } else if (resource == "style.css") {
        file = &style_;
        type = "text/css; charset=utf-8";
    } else if (resource != "api/state" && resource != "events") {
        return Refuse(connection, MHD_HTTP_NOT_FOUND, "no such page");
    }
    if (!reads) return Refuse(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "this is read with GET", "GET, HEAD");
    if (file) return Reply(connection, MHD_HTTP_OK, *file, type);
    if (resource == "api/state") return ReplyJson(connection, MHD_HTTP_OK, SnapshotText(log_.Snapshot()));
    return Events(connection);
}

int PageServer::Control(MHD_Connection* connection, const std::string& body) {
    const Json request = Json::parse(body, nullptr, false);
    if (!request.is_object() || !request.contains("source") || !request["source"].is_string() ||
        !request.contains("action") || !request["action"].is_string())
        return Refuse(connection, MHD_HTTP_BAD_REQUEST,
                      "a control is a JSON object {\"source\": NAME, \"action\": ACTION}, with \"gift_id\" for again");
    std::string giftId;
    if (const auto id = request.find("gift_id"); id != request.end()) {
        if (!id->is_number_unsigned())
            return Refuse(connection, MHD_HTTP_BAD_REQUEST, "gift_id is the gift's number, as its row gives it");
        giftId = std::to_string(id->get<uint64_t>());
    }
    if (!options_.control) return Refuse(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "controls are not available");
    const ControlAnswer answer =
        options_.control(request["source"].get<std::string>(), request["action"].get<std::string>(), giftId);
    return ReplyJson(connection, static_cast<unsigned>(answer.status), answer.json);
}

int PageServer::Events(MHD_Connection* connection) {
    auto* stream = new EventStream{*this, {}, {}, 0, false};
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, ReadEventStream, stream, FreeEventStream);
    if (!response) {
        delete stream;
        return MHD_NO;
    }
    AddCommonHeaders(response, "text/event-stream; charset=utf-8");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}
