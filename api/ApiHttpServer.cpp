#include "api/ApiHttpServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <exception>
#include <system_error>

#include "api/ApiLimits.h"
#include "api/ApiStream.h"
#include "api/MetricsRoutes.h"
#include "platform/Socket.h"
#include "platform/UnixSocket.h"

namespace {

// What the dispatcher knows of the connection its thread serves: a worker serves one
// connection at a time, and the library's handlers see only the request.
thread_local const ApiConnection* t_connection = nullptr;
// The answer was sent without reading the request's body, or the library gave up on it:
// the connection ends after the answer, so no body is taken for the next request.
thread_local bool t_mustClose = false;
// The stream of that connection, whose read failure names a refusal better than the
// library's "400".
thread_local CBoundedStream* t_stream = nullptr;
// A refusal decided before the body was read, sent once it has been (AfterBody).
thread_local std::optional<ApiResponse> t_refusalAfterBody;

// The library's own refusal, with the status the stream's failure calls for.
void RestateLibraryRefusal(httplib::Response& res) {
    using Failure = CBoundedStream::Failure;
    const Failure failure = t_stream != nullptr ? t_stream->ReadFailure() : Failure::None;
    if (failure == Failure::Deadline) res.status = 408;
    if (failure == Failure::HeadTooLarge) res.status = 431;
    if (failure == Failure::BodyTooLarge) res.status = 413;
}

bool DeclaresBody(const httplib::Request& req) {
    return req.has_header("Transfer-Encoding") ||
           (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0");
}

std::size_t DeclaredLength(const httplib::Request& req) {
    const std::string text = req.get_header_value("Content-Length");
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return text.empty() ? 0 : SIZE_MAX;
    return static_cast<std::size_t>(std::stoull(text));
}

bool MethodHasBody(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "PATCH";
}

std::string JsonText(const nlohmann::json& body) {
    // A name or a log line may hold bytes that are not UTF-8; they are replaced, not fatal.
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// SECURITY: every answer, the web page's files and the API's JSON alike: no script but
// the page's own files, no framing, no guessing of types, nothing kept in a cache.
void AddSecurityHeaders(httplib::Response& res) {
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
                   "form-action 'self'");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "no-store");
}

void WriteError(httplib::Response& res, const ApiResponse& error) {
    AddSecurityHeaders(res);
    res.status = error.status;
    res.set_content(JsonText(error.body), "application/json");
}

std::string LibraryRefusalText(int status) {
    switch (status) {
        case 400:
            return "malformed request";
        case 408:
            return "the request did not arrive within 10 s";
        case 413:
            return "the body is larger than 1 MiB";
        case 431:
            return "the request's header is larger than 64 KiB";
        case 414:
            return "the request target is too long";
        case 416:
            return "ranges are not supported";
        default:
            return "refused";
    }
}

// The 503 a connection gets when every worker is busy and the waiting queue is full.
constexpr char kBusyAnswer[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
    "Content-Length: 48\r\nConnection: close\r\n\r\n"
    "{\"error\":\"too many administration connections\"}";

}  // namespace

CApiHttpServer::CApiHttpServer(ApiContext context, std::vector<ApiRoute> routes)
    : m_context(std::move(context)), m_router(std::move(routes)) {
    m_context.stopping = &m_stopping;
    set_payload_max_length(kApiMaxBodyBytes);
    // Only what the answers' Keep-Alive header says: ServeConnection enforces them.
    set_keep_alive_max_count(kApiKeepAliveRequests);
    set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(kApiKeepAliveIdle).count());
    // The library ends a chunked answer when this is invalid: it is the listener it never
    // opens here, so it stands for "serving" until Stop.
    svr_sock_ = 0;
    InstallHandlers();
}

CApiHttpServer::~CApiHttpServer() { Stop(); }

void CApiHttpServer::InstallHandlers() {
    set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        return BeforeBody(req, res);
    });
    const auto afterBody = [this](const httplib::Request& req, httplib::Response& res) {
        AfterBody(req, res);
    };
    Post(".*", afterBody);
    Put(".*", afterBody);
    Patch(".*", afterBody);
    set_error_handler(HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        // The library's own refusals (bad request line, 413, 414, a read that failed) get
        // the API's shape and end the connection: what follows is not a request.
        if (!res.body.empty()) return HandlerResponse::Unhandled;
        t_mustClose = true;
        RestateLibraryRefusal(res);
        WriteError(res, ApiError(res.status, LibraryRefusalText(res.status)));
        return HandlerResponse::Handled;
    }));
    set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        WriteError(res, ApiError(500, "internal error"));
    });
}

ApiRequest CApiHttpServer::MakeRequest(const httplib::Request& req,
                                       const ApiRouteMatch& match) const {
    ApiRequest request;
    request.method = req.method == "HEAD" ? "GET" : req.method;
    request.path = match.path;
    request.pathParams = match.pathParams;
    const std::size_t question = req.target.find('?');
    if (question != std::string::npos)
        (void)ParseQuery(std::string_view(req.target).substr(question + 1), request.query);
    request.ifMatch = req.get_header_value("If-Match");
    request.authorization = req.get_header_value("Authorization");
    request.cookie = req.get_header_value("Cookie");
    request.csrfToken = req.get_header_value("X-CSRF-Token");
    request.origin = req.get_header_value("Origin");
    request.host = req.get_header_value("Host");
    request.fetchMode = req.get_header_value("Sec-Fetch-Mode");
    if (t_connection != nullptr) {
        request.peerAddress = t_connection->peerAddress;
        request.transport = t_connection->transport;
    }
    return request;
}

httplib::Server::HandlerResponse CApiHttpServer::BeforeBody(const httplib::Request& req,
                                                            httplib::Response& res) {
    const ApiRouteMatch match = m_router.Find(req.method, req.target);
    const ApiRequest request = MakeRequest(req, match);
    std::map<std::string, std::string> query;
    const std::size_t question = req.target.find('?');
    std::optional<ApiResponse> refusal;
    // SECURITY: credentials first, before any work, even for a route that does not exist.
    if (request.transport == ApiTransport::Network && m_authenticator)
        refusal = m_authenticator(m_context, request);
    // SECURITY: the metrics listener needs no credentials, so it serves nothing else.
    if (request.transport == ApiTransport::MetricsOnly &&
        (request.method != "GET" || request.path != kMetricsPath))
        refusal = ApiError(404, "this listener serves GET /metrics only");
    if (!refusal && match.route == nullptr) refusal = match.refusal;
    // A body announced too large is refused before a byte of it is read.
    if (!refusal && DeclaredLength(req) > kApiMaxBodyBytes)
        refusal = ApiError(413, LibraryRefusalText(413));
    if (!refusal && question != std::string::npos &&
        !ParseQuery(std::string_view(req.target).substr(question + 1), query))
        refusal = ApiError(400, "malformed percent escape in the query");
    if (refusal && MethodHasBody(req.method) && !req.has_header("Transfer-Encoding") &&
        DeclaredLength(req) <= kApiRefusalBodyReadBytes) {
        t_refusalAfterBody = std::move(refusal);
        return HandlerResponse::Unhandled;
    }
    if (refusal) {
        WriteError(res, *refusal);
        for (const auto& [name, value] : refusal->headers) res.set_header(name, value);
        if (DeclaresBody(req)) t_mustClose = true;
        return HandlerResponse::Handled;
    }
    if (MethodHasBody(req.method)) return HandlerResponse::Unhandled;  // read the body first
    if (DeclaresBody(req)) t_mustClose = true;
    Answer(request, *match.route, res);
    return HandlerResponse::Handled;
}

void CApiHttpServer::AfterBody(const httplib::Request& req, httplib::Response& res) {
    if (t_refusalAfterBody) {
        WriteError(res, *t_refusalAfterBody);
        for (const auto& [name, value] : t_refusalAfterBody->headers) res.set_header(name, value);
        t_refusalAfterBody.reset();
        return;
    }
    const ApiRouteMatch match = m_router.Find(req.method, req.target);
    if (match.route == nullptr) return WriteError(res, match.refusal);
    ApiRequest request = MakeRequest(req, match);
    if (!req.body.empty() && !IsAcceptableJson(req.body))
        return WriteError(res, ApiError(400, "the body is not JSON (or is nested too deep)"));
    request.body = req.body;
    Answer(request, *match.route, res);
}

void CApiHttpServer::Answer(const ApiRequest& request, const ApiRoute& route,
                            httplib::Response& res) {
    ApiResponse answer;
    try {
        answer = route.handler(m_context, request);
    } catch (const std::exception& e) {
        answer = ApiError(500, std::string("internal error: ") + e.what());
    }
    AddSecurityHeaders(res);
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) {
        res.headers.erase(name);  // the route's own value wins (the live log's Cache-Control)
        res.set_header(name, value);
    }
    if (!answer.etag.empty()) res.set_header("ETag", answer.etag);
    if (answer.stream) {
        res.set_chunked_content_provider(answer.contentType, [this, stream = answer.stream](
                                                                 size_t, httplib::DataSink& sink) {
            if (t_stream != nullptr) t_stream->AllowLongAnswer();
            stream([&](std::string_view chunk) {
                return !m_stopping && sink.is_writable() && sink.write(chunk.data(), chunk.size());
            });
            sink.done();
            return true;
        });
    } else if (!answer.rawBody.empty()) {
        res.set_content(answer.rawBody, answer.contentType);
    } else if (!answer.body.is_null()) {
        res.set_content(JsonText(answer.body), "application/json");
    }
}

void CApiHttpServer::ServeConnection(httplib::Stream& stream, const ApiConnection& connection) {
    CBoundedStream bounded(stream);
    t_connection = &connection;
    t_stream = &bounded;
    for (std::size_t served = 0; served < kApiKeepAliveRequests && !m_stopping; ++served) {
        const bool first = served == 0;
        const auto idleUntil = ApiClock::now() + (first ? kApiRequestDeadline : kApiKeepAliveIdle);
        // A kept-alive connection gives its worker up as soon as another one waits.
        if (!bounded.WaitForRequest(idleUntil,
                                    [&] { return m_stopping || (!first && OthersWaiting()); }))
            break;
        bounded.BeginRequest(ApiClock::now() + kApiRequestDeadline);
        t_mustClose = false;
        t_refusalAfterBody.reset();
        bool closed = false;
        const bool last = served + 1 == kApiKeepAliveRequests;
        if (!process_request(bounded, last, closed, {}) || closed || t_mustClose ||
            bounded.ReadFailure() != CBoundedStream::Failure::None)
            break;
    }
    t_connection = nullptr;
    t_stream = nullptr;
}

// ---- Connections and threads

void CApiHttpServer::AddListener(UniqueFd listenFd, ApiTransport transport,
                                 ApiStreamFactory factory) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const bool local =
        ::getsockname(listenFd.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        address.ss_family == AF_UNIX;
    m_listeners.push_back(std::make_unique<Listener>(
        Listener{std::move(listenFd), transport, std::move(factory), local}));
}

bool CApiHttpServer::Start(std::string& error) {
    m_stopping = false;
    svr_sock_ = 0;
    try {
        for (std::size_t i = 0; i < kApiWorkers; ++i)
            m_workers.emplace_back([this] { WorkerLoop(); });
        m_acceptor = std::thread([this] { AcceptLoop(); });
    } catch (const std::system_error& e) {
        // Out of threads: fewer workers serve, or none and the API is off.
        error = e.what();
        if (m_workers.empty() || !m_acceptor.joinable()) {
            Stop();
            return false;
        }
    }
    return true;
}

void CApiHttpServer::Stop() {
    m_stopping = true;
    svr_sock_ = INVALID_SOCKET;
    {
        std::lock_guard lock(m_lock);
        for (const int fd : m_serving) (void)::shutdown(fd, SHUT_RDWR);
        m_queued.notify_all();
    }
    if (m_acceptor.joinable()) m_acceptor.join();
    for (std::thread& worker : m_workers) worker.join();
    m_workers.clear();
    std::lock_guard lock(m_lock);
    m_waiting.clear();
}

bool CApiHttpServer::OthersWaiting() {
    std::lock_guard lock(m_lock);
    return !m_waiting.empty();
}

void CApiHttpServer::AcceptLoop() {
    std::vector<pollfd> polled;
    for (const auto& listener : m_listeners)
        polled.push_back(pollfd{listener->fd.Get(), POLLIN, 0});
    while (!m_stopping) {
        for (pollfd& p : polled) p.revents = 0;
        if (::poll(polled.data(), polled.size(), kApiAcceptPollMs) <= 0) continue;
        for (std::size_t i = 0; i < polled.size(); ++i)
            if (polled[i].revents != 0) AcceptFrom(*m_listeners[i]);
    }
}

void CApiHttpServer::AcceptFrom(const Listener& listener) {
    UniqueFd fd(::accept4(listener.fd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) {
        // Out of descriptors: the connections wait in the backlog meanwhile.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return;
    }
    std::lock_guard lock(m_lock);
    if (m_waiting.size() >= kApiWaitingConnections) {
        if (listener.local) (void)SendWithoutWaiting(fd.Get(), kBusyAnswer, sizeof kBusyAnswer - 1);
        return;
    }
    m_waiting.push_back(Accepted{std::move(fd), &listener});
    m_queued.notify_one();
}

void CApiHttpServer::WorkerLoop() {
    for (;;) {
        Accepted accepted;
        {
            std::unique_lock lock(m_lock);
            m_queued.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping) return;
            accepted = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        ServeAccepted(std::move(accepted));
    }
}

void CApiHttpServer::ServeAccepted(Accepted accepted) {
    const Listener& listener = *accepted.listener;
    ApiConnection connection{listener.transport, "local"};
    // SECURITY: the file mode keeps other users out of the control socket; the peer's
    // user is checked as well.
    if (listener.local && !PeerIsSameUser(accepted.fd.Get())) return;
    if (!listener.local && !PeerAddressOf(accepted.fd.Get(), connection.peerAddress)) return;
    SetSocketWaits(accepted.fd.Get(), ApiClock::now() + kApiRequestDeadline, kApiWriteWait);
    std::unique_ptr<httplib::Stream> stream;
    try {
        if (listener.factory)
            stream = listener.factory(std::move(accepted.fd), connection.peerAddress);
        else
            stream = std::make_unique<CFdStream>(std::move(accepted.fd), connection.peerAddress);
    } catch (const std::exception&) {
        return;
    }
    if (!stream) return;
    const int fd = stream->socket();
    {
        std::lock_guard lock(m_lock);
        if (m_stopping) return;
        m_serving.insert(fd);
    }
    try {
        ServeConnection(*stream, connection);
    } catch (const std::exception&) {
        // Out of memory in one request ends that connection, not the server.
    }
    std::lock_guard lock(m_lock);
    m_serving.erase(fd);  // before the stream closes the descriptor
}
