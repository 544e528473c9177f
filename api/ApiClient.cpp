#include "api/ApiClient.h"

#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

// How long the client waits to connect, and for each read or write of the exchange.
constexpr int kConnectSeconds = 2;
constexpr int kReadSeconds = 15;
constexpr int kWriteSeconds = 5;

class CSocketApiClient : public CApiClient {
public:
    explicit CSocketApiClient(std::string socketPath) : m_socketPath(std::move(socketPath)) {}

    ApiClientResponse Send(const std::string& method, const std::string& path,
                           const std::string& body, const std::string& ifMatch) override {
        ApiClientResponse answer;
        if (!SocketIsOurs(answer.error)) return answer;
        httplib::ClientImpl client(m_socketPath);
        Configure(client);
        httplib::Request request;
        request.method = method;
        request.path = path;
        if (!ifMatch.empty()) request.set_header("If-Match", ifMatch);
        if (!body.empty()) {
            request.body = body;
            request.set_header("Content-Type", "application/json");
        }
        httplib::Response response;
        httplib::Error error = httplib::Error::Success;
        if (!client.send(request, response, error)) {
            answer.error = httplib::to_string(error) + " (" + m_socketPath + ")";
            return answer;
        }
        answer.status = response.status;
        answer.body = std::move(response.body);
        answer.etag = response.get_header_value("ETag");
        return answer;
    }

    ApiClientResponse Stream(const std::string& path,
                             const std::function<bool(std::string_view)>& onData) override {
        ApiClientResponse answer;
        if (!SocketIsOurs(answer.error)) return answer;
        httplib::ClientImpl client(m_socketPath);
        Configure(client);
        const httplib::Result result = client.Get(
            path,
            [&answer](const httplib::Response& response) {
                answer.status = response.status;
                return true;
            },
            [&onData](const char* data, std::size_t size) {
                return onData(std::string_view(data, size));
            });
        // Ended by onData or by the peer after a good start: the stream's normal end.
        if (!result && answer.status == 0)
            answer.error = httplib::to_string(result.error()) + " (" + m_socketPath + ")";
        return answer;
    }

private:
    void Configure(httplib::ClientImpl& client) const {
        // The host part is the socket file; Host is not looked at by the server.
        client.set_address_family(AF_UNIX);
        client.set_connection_timeout(kConnectSeconds, 0);
        client.set_read_timeout(kReadSeconds, 0);
        client.set_write_timeout(kWriteSeconds, 0);
        client.set_keep_alive(false);
    }

    // SECURITY: a socket file another user made is not this user's server; the server
    // checks its peer the same way.
    bool SocketIsOurs(std::string& error) const {
        struct stat info {};
        if (::stat(m_socketPath.c_str(), &info) != 0) {
            error = "no control socket " + m_socketPath;
            return false;
        }
        if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
            error = m_socketPath + " is not a socket of this user";
            return false;
        }
        return true;
    }

    std::string m_socketPath;
};

}  // namespace

ApiClientResponse CApiClient::Stream(const std::string& /*path*/,
                                     const std::function<bool(std::string_view)>& /*onData*/) {
    ApiClientResponse answer;
    answer.error = "this client cannot follow a stream";
    return answer;
}

std::unique_ptr<CApiClient> NewSocketApiClient(const std::string& socketPath) {
    return std::make_unique<CSocketApiClient>(socketPath);
}
