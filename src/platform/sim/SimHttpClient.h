#pragma once
// An HTTP client on a virtual clock. A test installs a "server" function that
// answers each request with a reply and a delay; a reply slower than the
// request's time-out becomes a time-out error at the time-out. Completions
// run as scheduled tasks, standing in for the real client's worker thread.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpClient.h"

namespace tavlo {

class SimHttpClient final : public HttpClient {
public:
    using Duration = std::chrono::steady_clock::duration;
    using Schedule = std::function<void(Duration, std::function<void()>)>;

    struct Reply {
        Duration delay = Duration::zero();
        std::optional<HttpResponse> response;
        std::optional<HttpTransportError> error;  // neither set: no answer ever (runs into the time-out)

        static Reply status(int code, std::string body = {}, Duration after = Duration::zero());
        static Reply failure(HttpTransportError::Kind kind, std::string description,
                             Duration after = Duration::zero());
        static Reply connectionRefused() {
            return failure(HttpTransportError::Kind::cannotConnect, "Could not connect to the server.");
        }
        static Reply silence() { return {}; }
    };
    using Server = std::function<Reply(const HttpRequest&)>;

    explicit SimHttpClient(Schedule schedule) : schedule_(std::move(schedule)) {}

    // Without a server every request is refused.
    void setServer(Server server) { server_ = std::move(server); }

    std::shared_ptr<HttpTask> dataTask(HttpRequest request, Completion completion) override;

    const std::vector<HttpRequest>& requests() const { return requests_; }
    std::size_t cancelledCount() const { return cancelledCount_; }

private:
    class Task;

    Schedule schedule_;
    Server server_;
    std::vector<HttpRequest> requests_;
    std::size_t cancelledCount_ = 0;
};

}  // namespace tavlo
