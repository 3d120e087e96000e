#pragma once
// An HTTP server on 127.0.0.1, in the test's own process, that serves files
// the way a model host does: whole (200) or, for a "Range: bytes=N-" request,
// the rest from N on (206). Each request can be scripted to break off after
// some bytes (a dropped connection), to stop after some bytes until the test
// lets it go on (a download in flight), to ignore the range, or to answer
// with an error status.
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tavlo::testing {

class ModelFileServer {
public:
    struct Behaviour {
        std::optional<std::size_t> dropAfterBytes;  // of this response's body
        std::optional<std::size_t> holdAfterBytes;  // until release(); then the connection is dropped
        bool ignoresRange = false;
        int status = 0;  // an error status instead of the file

        static Behaviour droppingAfter(std::size_t bytes) {
            Behaviour behaviour;
            behaviour.dropAfterBytes = bytes;
            return behaviour;
        }
        static Behaviour holdingAfter(std::size_t bytes) {
            Behaviour behaviour;
            behaviour.holdAfterBytes = bytes;
            return behaviour;
        }
        static Behaviour ignoringRange(bool ignores) {
            Behaviour behaviour;
            behaviour.ignoresRange = ignores;
            return behaviour;
        }
        static Behaviour refusing(int status) {
            Behaviour behaviour;
            behaviour.status = status;
            return behaviour;
        }
    };
    struct Request {
        std::string path;
        std::optional<std::string> range;
    };

    ModelFileServer() {
        // The range is this server's to answer, not the library's.
        server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            std::lock_guard lock(mutex_);
            Request recorded{request.path, std::nullopt};
            if (request.has_header("Range")) recorded.range = request.get_header_value("Range");
            requests_.push_back(recorded);
            const_cast<httplib::Request&>(request).ranges.clear();
            changed_.notify_all();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) { answer(request, response); });
        port_ = server_.bind_to_any_port("127.0.0.1");
        listener_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~ModelFileServer() {
        release();
        server_.stop();
        listener_.join();
    }

    ModelFileServer(const ModelFileServer&) = delete;
    ModelFileServer& operator=(const ModelFileServer&) = delete;

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/models"; }

    // Serves `content` at /models/NAME.
    void serve(const std::string& name, std::string content) {
        std::lock_guard lock(mutex_);
        files_["/models/" + name] = std::move(content);
    }
    // How the next request (after those already scripted) is answered.
    void answerNext(Behaviour behaviour) {
        std::lock_guard lock(mutex_);
        script_.push_back(behaviour);
    }

    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Waits until a held response has sent its bytes (a guard against a hang, not a speed check).
    bool waitUntilHeld(std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return holding_; });
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }

private:
    void answer(const httplib::Request& request, httplib::Response& response) {
        Behaviour behaviour;
        std::string content;
        std::optional<std::string> range;
        {
            std::lock_guard lock(mutex_);
            if (!script_.empty()) {
                behaviour = script_.front();
                script_.pop_front();
            }
            const auto file = files_.find(request.path);
            if (file == files_.end()) {
                response.status = 404;
                response.set_content("not found", "text/plain");
                return;
            }
            content = file->second;
            range = requests_.back().range;
        }
        if (behaviour.status != 0) {
            response.status = behaviour.status;
            response.set_content("refused", "text/plain");
            return;
        }
        std::size_t start = 0;
        if (range && !behaviour.ignoresRange && range->starts_with("bytes=") && range->ends_with("-")) {
            start = std::stoul(range->substr(6, range->size() - 7));
            if (start >= content.size()) {
                response.status = 416;
                response.set_header("Content-Range", "bytes */" + std::to_string(content.size()));
                return;
            }
            response.status = 206;
            response.set_header("Content-Range", "bytes " + std::to_string(start) + "-" +
                                                     std::to_string(content.size() - 1) + "/" +
                                                     std::to_string(content.size()));
        } else {
            response.status = 200;
        }
        auto body = std::make_shared<std::string>(content.substr(start));
        response.set_content_provider(
            body->size(), "application/octet-stream",
            [this, body, behaviour](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                std::size_t end = std::min(body->size(), offset + 16384);
                if (behaviour.dropAfterBytes) {
                    if (offset >= *behaviour.dropAfterBytes) return false;
                    end = std::min(end, *behaviour.dropAfterBytes);
                }
                if (behaviour.holdAfterBytes && offset >= *behaviour.holdAfterBytes) {
                    std::unique_lock lock(mutex_);
                    holding_ = true;
                    changed_.notify_all();
                    changed_.wait(lock, [&] { return released_; });
                    return false;
                }
                if (behaviour.holdAfterBytes) end = std::min(end, *behaviour.holdAfterBytes);
                return sink.write(body->data() + offset, end - offset);
            });
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread listener_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::string> files_;
    std::deque<Behaviour> script_;
    std::vector<Request> requests_;
    bool holding_ = false;
    bool released_ = false;
};

}  // namespace tavlo::testing
