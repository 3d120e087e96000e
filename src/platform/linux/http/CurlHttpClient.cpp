#include "platform/linux/http/CurlHttpClient.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/http/CurlNoProxy.h"

namespace tavlo {
namespace {

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

HttpTransportError transportError(CURLcode code, const char* detail) {
    using Kind = HttpTransportError::Kind;
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return {Kind::timedOut, "The request timed out."};
        case CURLE_COULDNT_CONNECT:
            return {Kind::cannotConnect, "Could not connect to the server."};
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return {Kind::cannotFindHost, "The server's host name could not be found."};
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return {Kind::secureConnectionFailed, "A secure connection to the server could not be made."};
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return {Kind::connectionLost, "The network connection was lost."};
        default:
            return {Kind::other, (detail && *detail) ? detail : curl_easy_strerror(code)};
    }
}

HttpTransportError cancelledError() {
    return {HttpTransportError::Kind::cancelled, "The request was cancelled."};
}

// A line break in a header (say, inside a pasted API key) would end the header
// early and let the rest be read as further headers: such a request is refused
// instead of sent.
std::optional<HttpTransportError> unsafeHeaderError(const HttpRequest& request) {
    for (const auto& [name, value] : request.headers)
        if ((name + value).find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return HttpTransportError{HttpTransportError::Kind::other,
                                      "The request was not sent: its \"" + name.substr(0, name.find_first_of("\r\n")) +
                                          "\" header contains a line break."};
    return std::nullopt;
}

}  // namespace

struct CurlTransfer;

struct CurlHttpClient::Shared {
    CURLM* multi = nullptr;
    std::mutex mutex;
    std::vector<std::shared_ptr<CurlTransfer>> incoming;  // guarded by mutex
    bool stopping = false;                            // guarded by mutex
    std::string noProxy = curlNoProxyList();

    Shared() : multi(curl_multi_init()) {}
    ~Shared() { curl_multi_cleanup(multi); }
    void wake() { curl_multi_wakeup(multi); }
};

struct CurlTransfer final : HttpTask {
    std::weak_ptr<CurlHttpClient::Shared> shared;
    HttpRequest request;
    HttpClient::Completion completion;
    std::atomic<bool> cancelRequested{false};

    // Touched by the worker thread only.
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    HttpResponse response;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // The body sent from a file: the bytes before it, the file, the bytes after.
    int bodyFile = -1;
    std::size_t sentBefore = 0;
    std::size_t sentAfter = 0;

    ~CurlTransfer() override {
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headerList);
        if (bodyFile >= 0) ::close(bodyFile);
    }

    void cancel() override {
        cancelRequested.store(true);
        if (auto owner = shared.lock()) owner->wake();
    }

    void complete(HttpResult result) {
        auto handler = std::move(completion);
        completion = nullptr;
        if (handler) handler(std::move(result));
    }

    static size_t onBody(char* data, size_t size, size_t count, void* user) {
        static_cast<CurlTransfer*>(user)->response.body.append(data, size * count);
        return size * count;
    }

    // Hands curl the next piece of a body sent from a file.
    static size_t onRead(char* buffer, size_t size, size_t count, void* user) {
        auto* self = static_cast<CurlTransfer*>(user);
        const std::size_t room = size * count;
        const std::string& before = self->request.body;
        if (self->sentBefore < before.size()) {
            const std::size_t n = std::min(room, before.size() - self->sentBefore);
            std::memcpy(buffer, before.data() + self->sentBefore, n);
            self->sentBefore += n;
            return n;
        }
        if (self->bodyFile >= 0) {
            ssize_t got;
            do {
                got = ::read(self->bodyFile, buffer, room);
            } while (got < 0 && errno == EINTR);
            if (got < 0) return CURL_READFUNC_ABORT;
            if (got > 0) return static_cast<size_t>(got);
            ::close(self->bodyFile);
            self->bodyFile = -1;
        }
        const std::string& after = self->request.bodyAfterFile;
        const std::size_t n = std::min(room, after.size() - self->sentAfter);
        std::memcpy(buffer, after.data() + self->sentAfter, n);
        self->sentAfter += n;
        return n;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<CurlTransfer*>(user);
        const std::string line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) {
            self->response.headers.clear();  // a new (final or interim) response begins
        } else if (const auto colon = line.find(':'); colon != std::string::npos) {
            self->response.headers.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
        }
        return size * count;
    }

    // Opens the file of a body sent from disk; an error when it cannot be read.
    std::optional<HttpTransportError> openBodyFile() {
        if (request.bodyFile.empty()) return std::nullopt;
        bodyFile = ::open(request.bodyFile.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (bodyFile < 0 || ::fstat(bodyFile, &info) != 0 || !S_ISREG(info.st_mode))
            return HttpTransportError{HttpTransportError::Kind::other, "The file to send could not be read."};
        bodyFileSize = static_cast<curl_off_t>(info.st_size);
        return std::nullopt;
    }
    curl_off_t bodyFileSize = 0;

    void configure(const std::string& noProxy) {
        easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutSeconds * 1000.0 + 0.5));
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_PRIVATE, this);

        if (request.method == "GET" && request.body.empty() && bodyFile < 0) {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (request.method == "HEAD") {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else {
            if (request.method == "POST") {
                curl_easy_setopt(easy, CURLOPT_POST, 1L);
            } else {
                curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
            }
            if (bodyFile >= 0) {
                // The length is known up front, so the server sees a plain body.
                const curl_off_t length = static_cast<curl_off_t>(request.body.size()) + bodyFileSize +
                                          static_cast<curl_off_t>(request.bodyAfterFile.size());
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, length);
                curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CurlTransfer::onRead);
                curl_easy_setopt(easy, CURLOPT_READDATA, this);
            } else {
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
            }
        }

        // "Name:" tells curl to send no such header, its own default included.
        bool expectGiven = false;
        for (const auto& [name, value] : request.headers) {
            expectGiven = expectGiven || sameNameIgnoringCase(name, "Expect");
            const std::string line = value.empty() ? name + ":" : name + ": " + value;
            headerList = curl_slist_append(headerList, line.c_str());
        }
        // Waiting for "100 Continue" only adds a round trip (or a full second
        // with servers that never send it).
        if (!expectGiven) headerList = curl_slist_append(headerList, "Expect:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
        // curl keeps no cache, so both cache policies behave the same here.
    }
};

namespace {

constexpr int idleWaitMilliseconds = 3600 * 1000;

void runWorker(const std::shared_ptr<CurlHttpClient::Shared>& shared) {
    std::map<CURL*, std::shared_ptr<CurlTransfer>> active;
    auto finishTransfer = [&](CURL* easy, HttpResult result) {
        auto node = active.extract(easy);
        curl_multi_remove_handle(shared->multi, easy);
        node.mapped()->complete(std::move(result));
    };

    for (;;) {
        std::vector<std::shared_ptr<CurlTransfer>> arrived;
        bool stopping = false;
        {
            std::lock_guard lock(shared->mutex);
            arrived.swap(shared->incoming);
            stopping = shared->stopping;
        }
        for (auto& transfer : arrived) {
            if (stopping || transfer->cancelRequested.load()) {
                transfer->complete({std::nullopt, cancelledError()});
                continue;
            }
            if (auto refused = unsafeHeaderError(transfer->request)) {
                transfer->complete({std::nullopt, std::move(refused)});
                continue;
            }
            if (auto unreadable = transfer->openBodyFile()) {
                transfer->complete({std::nullopt, std::move(unreadable)});
                continue;
            }
            transfer->configure(shared->noProxy);
            curl_multi_add_handle(shared->multi, transfer->easy);
            active.emplace(transfer->easy, std::move(transfer));
        }
        std::vector<CURL*> cancelled;
        for (const auto& [easy, transfer] : active)
            if (stopping || transfer->cancelRequested.load()) cancelled.push_back(easy);
        for (CURL* easy : cancelled) finishTransfer(easy, {std::nullopt, cancelledError()});
        if (stopping) return;

        int running = 0;
        curl_multi_perform(shared->multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(shared->multi, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            CURL* easy = message->easy_handle;
            const CURLcode code = message->data.result;
            auto& transfer = active.at(easy);
            HttpResult result;
            if (code == CURLE_OK) {
                long status = 0;
                curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
                transfer->response.statusCode = static_cast<int>(status);
                result.response = std::move(transfer->response);
            } else {
                result.error = transportError(code, transfer->errorBuffer);
            }
            finishTransfer(easy, std::move(result));
        }
        // With transfers running, look at cancellations every second; with
        // none, sleep until a new request or the stop wakes the worker, so an
        // idle program is not woken every second.
        curl_multi_poll(shared->multi, nullptr, 0, active.empty() ? idleWaitMilliseconds : 1000, nullptr);
    }
}

}  // namespace

CurlHttpClient::CurlHttpClient() {
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    shared_ = std::make_shared<Shared>();
    worker_ = std::thread([shared = shared_] { runWorker(shared); });
}

CurlHttpClient::~CurlHttpClient() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->wake();
    worker_.join();
    // Anything queued after the worker's last look still gets its answer.
    std::vector<std::shared_ptr<CurlTransfer>> late;
    {
        std::lock_guard lock(shared_->mutex);
        late.swap(shared_->incoming);
    }
    for (auto& transfer : late) transfer->complete({std::nullopt, cancelledError()});
}

std::shared_ptr<HttpTask> CurlHttpClient::dataTask(HttpRequest request, Completion completion) {
    auto transfer = std::make_shared<CurlTransfer>();
    transfer->shared = shared_;
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->incoming.push_back(transfer);
    }
    shared_->wake();
    return transfer;
}

}  // namespace tavlo
