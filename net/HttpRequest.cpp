#include "net/HttpRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

using CurlPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// Header lines beyond this many bytes in all end the transfer: a server that sends
// endless headers is not waited for.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

struct Transfer {
    HttpReply* reply = nullptr;
    std::size_t maxBytes = 0;
    std::size_t headerBytes = 0;
    bool tooLong = false;
    const std::atomic<bool>* cancel = nullptr;
};

std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (bytes > transfer->maxBytes - transfer->reply->body.size()) {
        transfer->tooLong = true;
        return 0;  // curl ends the transfer with a write error
    }
    transfer->reply->body.append(data, bytes);
    return bytes;
}

std::string Trimmed(std::string text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    return std::string(first, text.end());
}

std::size_t KeepHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    transfer->headerBytes += bytes;
    if (transfer->headerBytes > kMaxHeaderBytes) {
        transfer->tooLong = true;
        return 0;
    }
    const std::string line(data, bytes);
    const std::size_t colon = line.find(':');
    if (line.rfind("HTTP/", 0) == 0) transfer->reply->headers.clear();  // a new response
    if (colon == std::string::npos) return bytes;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string value = Trimmed(line.substr(colon + 1));
    std::string& kept = transfer->reply->headers[name];
    kept = name == "link" && !kept.empty() ? kept + ", " + value : value;
    return bytes;
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->cancel->load() ? 1 : 0;
}

void SetRequestOptions(CURL* curl, const HttpRequest& request, curl_slist* headers,
                       Transfer& transfer, char* errorText) {
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    // SECURITY: URLs come from the server's own replies; nothing but https is followed.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, request.caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tarvona FTP Server");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
    } else if (request.method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    }
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &KeepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
}

}  // namespace

HttpReply PerformHttpRequest(const HttpRequest& request, const std::atomic<bool>& cancel) {
    HttpReply reply;
    CurlPtr curl(curl_easy_init(), &curl_easy_cleanup);
    HeaderList headers(nullptr, &curl_slist_free_all);
    for (const std::string& line : request.headers) {
        curl_slist* appended = curl_slist_append(headers.get(), line.c_str());
        if (!appended) break;
        if (!headers) headers.reset(appended);
    }
    if (!curl || (headers == nullptr) != request.headers.empty()) {
        reply.error = "cannot set up an HTTP request";
        return reply;
    }
    Transfer transfer;
    transfer.reply = &reply;
    transfer.maxBytes = request.maxReplyBytes;
    transfer.cancel = &cancel;
    char errorText[CURL_ERROR_SIZE] = {};
    SetRequestOptions(curl.get(), request, headers.get(), transfer, errorText);
    const CURLcode code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    if (transfer.tooLong) {
        reply.error = "the reply of " + request.url + " is too long";
        return reply;
    }
    if (code != CURLE_OK) {
        reply.error =
            request.url + ": " + (errorText[0] != '\0' ? errorText : curl_easy_strerror(code));
        return reply;
    }
    reply.ok = true;
    return reply;
}
