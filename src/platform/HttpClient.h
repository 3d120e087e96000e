#pragma once
// HTTP requests to the warm whisper-server, the cloud services and the update
// manifest. Every task completes exactly once, on a background thread: with a
// response (any status code) or with a transport error, cancellation included.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavlo {

enum class HttpCachePolicy {
    useProtocolDefault,       // whatever the protocol's cache rules allow
    reloadIgnoringLocalCache  // always ask the server
};

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    // Sent in this order. A header with an empty value is not sent at all and
    // also suppresses the client's own header of that name (an empty "Expect"
    // stops the client from waiting for "100 Continue" before a large body).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // When set, the contents of this file follow `body`, and `bodyAfterFile`
    // follows them: the file is read from disk while the request goes out,
    // so a long recording is never held in memory whole.
    std::string bodyFile;
    std::string bodyAfterFile;
    double timeoutSeconds = 60.0;  // the whole exchange, connection included
    HttpCachePolicy cachePolicy = HttpCachePolicy::useProtocolDefault;
    // Off for uploads: a recording must reach the address it was meant for,
    // so a 3xx reply is the final response instead of a new destination.
    bool followRedirects = true;
};

struct HttpResponse {
    int statusCode = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // of the final response
    std::string body;

    // First header of that name, compared without regard to ASCII case.
    std::optional<std::string> header(const std::string& name) const {
        auto lower = [](std::string text) {
            for (char& c : text)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            return text;
        };
        for (const auto& [key, value] : headers)
            if (lower(key) == lower(name)) return value;
        return std::nullopt;
    }
};

struct HttpTransportError {
    enum class Kind { cancelled, timedOut, cannotConnect, cannotFindHost, connectionLost, secureConnectionFailed, other };
    Kind kind = Kind::other;
    std::string description;  // a sentence the user can read
};

// Exactly one of the two is set.
struct HttpResult {
    std::optional<HttpResponse> response;
    std::optional<HttpTransportError> error;
};

class HttpTask {
public:
    virtual ~HttpTask() = default;
    // Stops the exchange; the completion then receives a `cancelled` error,
    // unless it has already run. Safe from any thread, any number of times.
    virtual void cancel() = 0;
};

class HttpClient {
public:
    using Completion = std::function<void(HttpResult)>;

    virtual ~HttpClient() = default;
    // Starts the request at once.
    virtual std::shared_ptr<HttpTask> dataTask(HttpRequest request, Completion completion) = 0;
    // The same with the body given apart from the request (replacing its body).
    std::shared_ptr<HttpTask> uploadTask(HttpRequest request, std::string body, Completion completion) {
        request.body = std::move(body);
        return dataTask(std::move(request), std::move(completion));
    }
};

}  // namespace tavlo
