// One HTTPS request of any method through libcurl, for protocols that talk JSON to a
// server (ACME): request headers and body given, the reply's body and the headers the
// caller names kept. https only, certificates verified, no redirect followed, bounded in
// time and in the bytes kept.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct HttpRequest {
    std::string method = "GET";  // GET, HEAD or POST
    std::string url;
    std::vector<std::string> headers;  // "Name: value" lines
    std::string body;                  // sent with POST
    std::string caFile;                // PEM roots to verify the server with; empty: the system's
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{30000};
    std::size_t maxReplyBytes = 256 * 1024;  // a longer reply is a failure, not cut
};

struct HttpReply {
    bool ok = false;   // a reply arrived whole (any status)
    long status = 0;   // the HTTP status, 0 when none arrived
    std::string body;  // at most maxReplyBytes bytes
    // The reply's headers, names in lower case; a repeated header keeps its last value,
    // except "link", whose values are joined with ", ".
    std::map<std::string, std::string> headers;
    std::string error;  // why no reply arrived, for the log
};

// Performs the request on the calling thread; `cancel` becoming true ends it early (a
// failure). Needs curl_global_init to have run (CCurlGlobal). Any thread.
HttpReply PerformHttpRequest(const HttpRequest& request, const std::atomic<bool>& cancel);
