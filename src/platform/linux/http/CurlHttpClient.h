#pragma once
// HTTP through libcurl: one multi handle driven by one worker thread, which
// also runs every completion. Cancelling from another thread sets a flag and
// wakes the worker, which drops the transfer and reports `cancelled`.
#include <memory>
#include <thread>

#include "platform/HttpClient.h"

namespace tavlo {

class CurlHttpClient final : public HttpClient {
public:
    CurlHttpClient();
    // Requests still in flight complete with `cancelled` before this returns.
    ~CurlHttpClient() override;

    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    std::shared_ptr<HttpTask> dataTask(HttpRequest request, Completion completion) override;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

}  // namespace tavlo
