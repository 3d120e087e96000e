#include "platform/sim/SimHttpClient.h"

#include <fstream>
#include <iterator>

namespace tavlo {

class SimHttpClient::Task final : public HttpTask, public std::enable_shared_from_this<Task> {
public:
    Task(SimHttpClient& client, Completion completion) : client_(client), completion_(std::move(completion)) {}

    void cancel() override {
        if (done_ || cancelling_) return;
        cancelling_ = true;
        ++client_.cancelledCount_;
        client_.schedule_(Duration::zero(), [self = shared_from_this()] {
            self->complete({std::nullopt, HttpTransportError{HttpTransportError::Kind::cancelled,
                                                             "The request was cancelled."}});
        });
    }

    void complete(HttpResult result) {
        if (done_) return;
        done_ = true;
        auto completion = std::move(completion_);
        if (completion) completion(std::move(result));
    }

    bool isCancelling() const { return cancelling_; }

private:
    SimHttpClient& client_;
    Completion completion_;
    bool done_ = false;
    bool cancelling_ = false;
};

SimHttpClient::Reply SimHttpClient::Reply::status(int code, std::string body, Duration after) {
    Reply reply;
    reply.delay = after;
    reply.response = HttpResponse{code, {}, std::move(body)};
    return reply;
}

SimHttpClient::Reply SimHttpClient::Reply::failure(HttpTransportError::Kind kind, std::string description,
                                                   Duration after) {
    Reply reply;
    reply.delay = after;
    reply.error = HttpTransportError{kind, std::move(description)};
    return reply;
}

std::shared_ptr<HttpTask> SimHttpClient::dataTask(HttpRequest request, Completion completion) {
    // A body sent from a file is recorded whole, as the server would receive it.
    if (!request.bodyFile.empty()) {
        std::ifstream file(request.bodyFile, std::ios::binary);
        request.body += std::string(std::istreambuf_iterator<char>(file), {});
        request.body += request.bodyAfterFile;
        request.bodyFile.clear();
        request.bodyAfterFile.clear();
    }
    requests_.push_back(request);
    Reply reply = server_ ? server_(request) : Reply::connectionRefused();
    const auto timeout = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(request.timeoutSeconds));
    const bool answers = reply.response || reply.error;
    if (!answers || reply.delay >= timeout) {
        reply = Reply::failure(HttpTransportError::Kind::timedOut, "The request timed out.", timeout);
    }
    auto task = std::make_shared<Task>(*this, std::move(completion));
    schedule_(reply.delay, [task, reply] {
        if (task->isCancelling()) return;
        task->complete({reply.response, reply.error});
    });
    return task;
}

}  // namespace tavlo
