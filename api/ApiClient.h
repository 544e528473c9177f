// A client of the administration API, for tarvona-admin (and later the window): the same
// calls whether the server is reached through the local control socket or over TLS.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct ApiClientResponse {
    int status = 0;    // 0: no answer (see `error`)
    std::string body;  // JSON text
    std::string etag;
    std::string error;  // why there is no answer: connection refused, certificate, ...
};

class CApiClient {
public:
    virtual ~CApiClient() = default;
    virtual ApiClientResponse Send(const std::string& method, const std::string& path,
                                   const std::string& body = {},
                                   const std::string& ifMatch = {}) = 0;
    // GET `path` as a live stream: `onData` gets the body's bytes as they arrive, until
    // it returns false, the answer ends or the connection fails (no byte arrives within
    // the read time-out). `body` of the result stays empty. Clients that cannot stream
    // answer status 0.
    virtual ApiClientResponse Stream(const std::string& path,
                                     const std::function<bool(std::string_view)>& onData);
};

// Through the control socket file at `socketPath`.
std::unique_ptr<CApiClient> NewSocketApiClient(const std::string& socketPath);
