#pragma once
// An HTTP server on 127.0.0.1, in the test's own process, that plays a remote
// service: it records every request, body byte for byte, and answers each with
// the next scripted reply. A reply can be held back until the test releases it,
// to keep a request in flight (for cancelling, or for a client time-out).
#include <httplib.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tavlo::testing {

class ScriptedHttpServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        bool heldUntilReleased = false;
    };

    struct Request {
        std::string method;
        std::string path;
        std::multimap<std::string, std::string> headers;
        std::string body;

        std::optional<std::string> header(const std::string& name) const {
            for (const auto& [key, value] : headers)
                if (equalIgnoringCase(key, name)) return value;
            return std::nullopt;
        }
    };

    ScriptedHttpServer() {
        // The library's own reading of multipart forms hands out damaged part
        // contents, and the raw form is what a test wants anyway: hide the
        // form's type from the library until the request is recorded.
        server_.set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
            auto& headers = const_cast<httplib::Headers&>(request.headers);
            for (auto& [name, value] : headers)
                if (equalIgnoringCase(name, "Content-Type")) value = kHiddenType + value;
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server_.Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                                  const httplib::ContentReader& content) { answer(request, response, content); });
        port_ = server_.bind_to_any_port("127.0.0.1");
        listener_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() does nothing before the server runs, so wait for that.
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~ScriptedHttpServer() {
        releaseHeldReplies();
        server_.stop();
        listener_.join();
    }

    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    int port() const { return port_; }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // The reply to the next request that has none scripted yet; after the
    // script runs out, requests get the default reply.
    void answerNext(Reply reply) {
        std::lock_guard lock(mutex_);
        script_.push_back({std::move(reply), {}});
    }
    // The next request is answered with a redirect to `location`.
    void redirectNext(int status, std::string location) {
        std::lock_guard lock(mutex_);
        script_.push_back({{status, "", "text/plain", false}, std::move(location)});
    }
    void setDefaultReply(Reply reply) {
        std::lock_guard lock(mutex_);
        defaultReply_ = std::move(reply);
    }

    // Lets every held reply (now and later) go out.
    void releaseHeldReplies() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }

    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Waits until `count` requests have arrived (a guard against a hang, not a speed check).
    bool waitForRequests(std::size_t count, std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
    }

private:
    static bool equalIgnoringCase(const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }

    void answer(const httplib::Request& request, httplib::Response& response, const httplib::ContentReader& content) {
        Request recorded{request.method, request.path, {request.headers.begin(), request.headers.end()}, {}};
        for (auto& [name, value] : recorded.headers)
            if (value.rfind(kHiddenType, 0) == 0) value.erase(0, kHiddenType.size());
        content([&](const char* data, std::size_t length) {
            recorded.body.append(data, length);
            return true;
        });
        Reply reply;
        std::string location;
        {
            std::unique_lock lock(mutex_);
            requests_.push_back(std::move(recorded));
            if (script_.empty()) {
                reply = defaultReply_;
            } else {
                reply = std::move(script_.front().reply);
                location = std::move(script_.front().location);
                script_.pop_front();
            }
            changed_.notify_all();
            if (reply.heldUntilReleased) changed_.wait(lock, [&] { return released_; });
        }
        response.status = reply.status;
        if (!location.empty()) response.set_header("Location", location);
        response.set_content(reply.body, reply.contentType.c_str());
    }

    static inline const std::string kHiddenType = "recorded-as-is;";

    httplib::Server server_;
    int port_ = 0;
    std::thread listener_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    struct Scripted {
        Reply reply;
        std::string location;
    };
    std::deque<Scripted> script_;
    Reply defaultReply_{200, R"({"text":"ok"})"};
    std::vector<Request> requests_;
    bool released_ = false;
};

}  // namespace tavlo::testing
