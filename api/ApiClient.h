// A client of the administration API, for tarvona-admin (and later the window): the same
// calls whether the server is reached through the local control socket or over TLS.
#pragma once

#include <memory>
#include <string>

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
};

// Through the control socket file at `socketPath`.
std::unique_ptr<CApiClient> NewSocketApiClient(const std::string& socketPath);
