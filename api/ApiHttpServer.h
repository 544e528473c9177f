// The administration API's HTTP server: cpp-httplib parses and writes the messages, but
// this class accepts the connections, runs them on a fixed set of worker threads and
// feeds the library through CBoundedStream, so every request has a byte budget and a
// deadline, and the number of connections is bounded (api/ApiLimits.h). One dispatcher
// matches every request against the routes (api/ApiRouter.h); every refusal is JSON.
//
// Threads: one accepting thread and kApiWorkers workers, made by Start; none of them is a
// session's. Routes run on a worker and take only the locks the core's thread-safe parts
// take; main-thread operations go through RunOnMainThread.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "api/ApiRouter.h"
#include "api/ApiTypes.h"
#include "platform/UniqueFd.h"

// Makes the stream a connection's HTTP runs on (the TLS listener's does its handshake
// here, bounded by the socket's time-outs, which are set before the call); nullptr
// closes the connection. `peerAddress` is the login guard's form of the peer.
using ApiStreamFactory =
    std::function<std::unique_ptr<httplib::Stream>(UniqueFd fd, const std::string& peerAddress)>;

// Who is on the other end of one connection.
struct ApiConnection {
    ApiTransport transport = ApiTransport::ControlSocket;
    std::string peerAddress;
};

class CApiHttpServer : private httplib::Server {
public:
    CApiHttpServer(ApiContext context, std::vector<ApiRoute> routes);
    ~CApiHttpServer() override;
    CApiHttpServer(const CApiHttpServer&) = delete;
    CApiHttpServer& operator=(const CApiHttpServer&) = delete;

    // Called before routing for every request of the network transport.
    void SetAuthenticator(ApiAuthenticator authenticator) {
        m_authenticator = std::move(authenticator);
    }
    // Serves the connections of the listening socket `listenFd` once started: a local
    // socket's peer must run as this process's user (else it is closed unanswered); a
    // TCP socket's connections are wrapped by `factory` (nullptr: plain).
    void AddListener(UniqueFd listenFd, ApiTransport transport, ApiStreamFactory factory = {});
    // Starts the threads. False with the reason in `error` when not one worker could be
    // made (the FTP service goes on without the API).
    [[nodiscard]] bool Start(std::string& error);
    // Stops accepting, ends every connection and live stream, and joins the threads.
    void Stop();

    // Serves the requests of one connection on the calling thread until it ends (the
    // workers' loop; also the fuzz target's way in).
    void ServeConnection(httplib::Stream& stream, const ApiConnection& connection);
    ApiContext& Context() { return m_context; }
    const CApiRouter& Router() const { return m_router; }

private:
    struct Listener {
        UniqueFd fd;
        ApiTransport transport;
        ApiStreamFactory factory;
        bool local;
    };
    struct Accepted {
        UniqueFd fd;
        const Listener* listener;
    };

    void InstallHandlers();
    httplib::Server::HandlerResponse BeforeBody(const httplib::Request& req,
                                                httplib::Response& res);
    void AfterBody(const httplib::Request& req, httplib::Response& res);
    ApiRequest MakeRequest(const httplib::Request& req, const ApiRouteMatch& match) const;
    void Answer(const ApiRequest& request, const ApiRoute& route, httplib::Response& res);
    void AcceptLoop();
    void AcceptFrom(const Listener& listener);
    void WorkerLoop();
    void ServeAccepted(Accepted accepted);
    bool OthersWaiting();

    ApiContext m_context;
    CApiRouter m_router;
    ApiAuthenticator m_authenticator;
    std::atomic<bool> m_stopping{false};
    std::vector<std::unique_ptr<Listener>> m_listeners;

    std::mutex m_lock;  // guards the members below
    std::condition_variable m_queued;
    std::deque<Accepted> m_waiting;
    std::set<int> m_serving;  // descriptors being served, shut down by Stop

    std::thread m_acceptor;
    std::vector<std::thread> m_workers;
};
