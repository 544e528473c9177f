#include "net/HttpGet.h"

#include <curl/curl.h>

#include <memory>

#include "net/NetLimits.h"

namespace {

using CurlPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

struct Transfer {
    std::string body;
    bool cut = false;  // the reply was longer than kept
    const std::atomic<bool>* cancel = nullptr;
};

// Keeps the first kMaxReplyBytes bytes; once they are there the transfer is ended, which
// curl reports as a write error that Finish() turns back into success.
std::size_t KeepBytes(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::size_t room = kMaxReplyBytes - transfer->body.size();
    if (bytes > room) {
        transfer->body.append(data, room);
        transfer->cut = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->cancel->load() ? 1 : 0;
}

void SetRequestOptions(CURL* curl, const std::string& url, std::chrono::milliseconds timeout,
                       curl_slist* headers, Transfer& transfer, char* errorText) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    // SECURITY: only the web schemes; a configured "file://" or "scp://" is refused.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "MyBorwserEx");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &KeepBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
}

}  // namespace

HttpGetResult HttpGet(const std::string& url, std::chrono::milliseconds timeout,
                      const std::atomic<bool>& cancel) {
    HttpGetResult result;
    if (url.size() > kMaxUrlLength) {
        result.error = "URL too long";
        return result;
    }
    CurlPtr curl(curl_easy_init(), &curl_easy_cleanup);
    // Ask every cache on the way for a fresh answer.
    HeaderList headers(curl_slist_append(nullptr, "Cache-Control: no-cache"), &curl_slist_free_all);
    if (!curl || !headers) {
        result.error = "cannot set up an HTTP request";
        return result;
    }
    (void)curl_slist_append(headers.get(), "Pragma: no-cache");  // appends to the head it is given
    Transfer transfer;
    transfer.cancel = &cancel;
    char errorText[CURL_ERROR_SIZE] = {};
    SetRequestOptions(curl.get(), url, timeout, headers.get(), transfer, errorText);
    const CURLcode code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && transfer.cut)) {
        result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
        return result;
    }
    result.body = std::move(transfer.body);
    result.ok = result.status >= 200 && result.status < 300;
    if (!result.ok) result.error = "HTTP status " + std::to_string(result.status);
    return result;
}

CCurlGlobal::CCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }

CCurlGlobal::~CCurlGlobal() { curl_global_cleanup(); }
