// One HTTP GET through libcurl, made the way the public-address requests need it: agent
// "MyBorwserEx", HTTP/1.0, no redirect followed, no cached answer, http and https only
// (certificates verified), bounded in time and in the bytes kept.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

struct HttpGetResult {
    bool ok = false;    // a 2xx reply arrived (its first kMaxReplyBytes bytes are in body)
    long status = 0;    // the HTTP status, 0 when none arrived
    std::string body;   // at most kMaxReplyBytes bytes
    std::string error;  // why it failed, for the log
};

// Performs the GET on the calling thread. `cancel` becoming true ends it early (a
// failure). Needs curl_global_init to have run (CCurlGlobal). Any thread; nothing shared.
HttpGetResult HttpGet(const std::string& url, std::chrono::milliseconds timeout,
                      const std::atomic<bool>& cancel);

// libcurl's process-wide set-up, which is not thread-safe: construct one in main()
// before any thread starts; it lives until the end of main().
class CCurlGlobal {
public:
    CCurlGlobal();
    ~CCurlGlobal();
    CCurlGlobal(const CCurlGlobal&) = delete;
    CCurlGlobal& operator=(const CCurlGlobal&) = delete;
};
