// A small HTTP server for testing the HTTP client: it binds a free loopback
// port, prints "PORT n" on its first line, and answers
//   /echo          (any method) JSON with the method, headers, body size and hash
//   /status/N      status N with the body "status N"
//   /delay/MS      200 after MS milliseconds
//   /redirect      302 to /status/200
#include <httplib.h>

#include <cstdio>
#include <cstdint>
#include <string>

#include "StandInCommon.h"

namespace {

std::string fnv1a(const std::string& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace

int main() {
    httplib::Server server;
    // Idle kept-alive connections hold a worker each; have enough of them.
    server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    auto echo = [](const httplib::Request& request, httplib::Response& response) {
        nlohmann::json headers = nlohmann::json::object();
        for (const auto& [name, value] : request.headers) headers[name] = value;
        response.set_content(nlohmann::json{{"method", request.method},
                                            {"headers", headers},
                                            {"bodySize", request.body.size()},
                                            {"bodyHash", fnv1a(request.body)}}
                                 .dump(),
                             "application/json");
    };
    server.Get("/echo", echo);
    server.Post("/echo", echo);
    server.Put("/echo", echo);
    server.Get(R"(/status/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        response.status = std::atoi(request.matches[1].str().c_str());
        response.set_content("status " + request.matches[1].str(), "text/plain");
    });
    server.Get(R"(/delay/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        standin::sleepMilliseconds(std::atoi(request.matches[1].str().c_str()));
        response.set_content("late", "text/plain");
    });
    server.Get("/redirect", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/status/200");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) return 1;
    std::printf("PORT %d\n", port);
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
