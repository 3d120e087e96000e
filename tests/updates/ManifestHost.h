#pragma once
// A real HTTP server on 127.0.0.1 playing one update manifest host: it answers
// GET /updates.json with the status and body it is told, or holds the request
// without an answer until it goes away, and remembers the requests it got.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "harness/FreeLoopbackPort.h"

namespace tavlo::testing {

struct ReceivedRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
};

class ManifestHost {
public:
    ManifestHost() {
        server_.Get("/updates.json", [this](const httplib::Request& request, httplib::Response& response) {
            std::unique_lock lock(mutex_);
            received_.push_back({request.method, request.path, request.headers});
            if (silent_) {
                released_.wait(lock, [this] { return closing_; });
                return;
            }
            response.status = status_;
            for (const auto& [name, value] : extraHeaders_) response.set_header(name, value);
            response.set_content(body_, "application/json");
        });
        // Bound and listening from here on; connections wait until the thread accepts them.
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() only ends a server that already runs.
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~ManifestHost() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        released_.notify_all();
        server_.stop();
        thread_.join();
    }

    ManifestHost(const ManifestHost&) = delete;
    ManifestHost& operator=(const ManifestHost&) = delete;

    void answer(int status, std::string body, httplib::Headers headers = {}) {
        std::lock_guard lock(mutex_);
        silent_ = false;
        status_ = status;
        body_ = std::move(body);
        extraHeaders_ = std::move(headers);
    }
    // Requests get no answer at all, so the client runs into its time-out.
    void stayQuiet() {
        std::lock_guard lock(mutex_);
        silent_ = true;
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/updates.json"; }

    std::vector<ReceivedRequest> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool closing_ = false;
    bool silent_ = false;
    int status_ = 404;
    std::string body_;
    httplib::Headers extraHeaders_;
    std::vector<ReceivedRequest> received_;
};

// A well-formed manifest document.
inline std::string manifestDocument(const std::string& version, const std::string& build,
                                    const std::string& releaseNotes = "Faster start.",
                                    const std::string& downloadURL = "https://tavlo.app/download") {
    return nlohmann::json{{"version", version},
                          {"build", build},
                          {"minimum_macos", "13.0"},
                          {"download_url", downloadURL},
                          {"release_notes", releaseNotes}}
        .dump();
}

// An address on this machine where nothing listens.
inline std::string unreachableManifestURL() {
    return "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/updates.json";
}

}  // namespace tavlo::testing
