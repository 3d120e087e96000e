// Stands in for whisper.cpp's whisper-server: loads the "model" before it
// binds (so the port refuses connections until then), answers GET / with a
// page, and POST /inference like the real server, one transcription at a time.
// Like the real one it binds with SO_REUSEPORT, so a second server of the same
// user binds the port next to a first one, and a model it cannot load ends it
// with "error: failed to initialize whisper context" and a non-zero status.
// Like the real one it writes its log (standard output) only when it exits,
// the first SIGTERM starts a graceful shutdown and a second one ends it at
// once with status 1; each shutdown is recorded beside the model.
#include <httplib.h>
#include <signal.h>
#include <sys/socket.h>

#include <thread>

#include <cstdio>
#include <mutex>
#include <iostream>
#include <string>
#include <vector>

#include "StandInCommon.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string model, host = "127.0.0.1", language = "en";
    int port = 8080;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-m") model = args[++i];
        else if (args[i] == "--host") host = args[++i];
        else if (args[i] == "--port") port = std::atoi(args[++i].c_str());
        else if (args[i] == "-l") language = args[++i];
    }
    // Block-buffered even on a terminal: the log appears when the server ends.
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    sigset_t terminations;
    sigemptyset(&terminations);
    sigaddset(&terminations, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &terminations, nullptr);
    const std::string requestLog = model + ".requests";
    if (!model.empty())
        standin::appendRecord(model + ".calls",
                              {{"program", "whisper-server"}, {"args", args}, {"pid", static_cast<int>(::getpid())}});

    std::cerr << "whisper_init_from_file_with_params_no_state: loading model from '" << model << "'\n";
    const auto script = standin::readModel(model);
    if (!script) {
        std::cerr << "error: failed to initialize whisper context\n";
        return 3;
    }
    standin::sleepMilliseconds(script->number("load_ms", 0));
    if (const int status = script->number("exit_during_load", 0); status != 0) {
        std::cerr << "whisper_model_load: failed to load model\n"
                  << "error: failed to initialize whisper context\n";
        return status;
    }

    httplib::Server server;
    server.set_socket_options([](int socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    });
    std::mutex inference;  // one transcription at a time, like the real server
    server.Get("/", [&](const httplib::Request&, httplib::Response& response) {
        standin::appendRecord(requestLog, {{"method", "GET"}, {"path", "/"}});
        response.set_content("<html><body><h1>Whisper.cpp Server</h1></body></html>", "text/html");
    });
    server.Get("/health", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("{\"status\":\"ok\"}", "application/json");
    });
    server.Post("/inference", [&](const httplib::Request& request, httplib::Response& response) {
        nlohmann::json record{{"method", "POST"},
                              {"path", "/inference"},
                              {"contentType", request.get_header_value("Content-Type")},
                              {"hasExpect", request.has_header("Expect")}};
        for (const char* field : {"response_format", "temperature"})
            if (request.has_file(field)) record[field] = request.get_file_value(field).content;
        if (request.has_file("file")) {
            const auto file = request.get_file_value("file");
            record["filename"] = file.filename;
            record["fileContentType"] = file.content_type;
            record["fileSize"] = file.content.size();
        }
        standin::appendRecord(requestLog, record);

        std::lock_guard lock(inference);
        standin::sleepMilliseconds(script->number("inference_ms", 0));
        if (script->number("inference_fails", 0) != 0) {
            response.status = 500;
            response.set_content("{\"error\":\"failed to process audio\"}", "application/json");
            return;
        }
        if (const int status = script->number("inference_status", 0); status != 0) {
            response.status = status;
            response.set_content(script->text("inference_body"), "text/plain");
            return;
        }
        std::optional<standin::Wav> wav;
        if (request.has_file("file")) wav = standin::decodeWav(request.get_file_value("file").content);
        if (!wav) {
            response.status = 400;
            response.set_content("Invalid request", "text/plain");
            return;
        }
        std::string text;
        for (const auto& segment : standin::transcribe(*script, *wav, language)) text += segment + "\n";
        response.set_content(nlohmann::json{{"text", text}}.dump(), "application/json");
    });

    if (!server.bind_to_port(host.c_str(), port)) {
        std::cerr << "error: couldn't bind to server socket: hostname=" << host << " port=" << port << "\n";
        return 1;
    }
    std::printf("\nwhisper server listening at http://%s:%d\n\n", host.c_str(), port);
    if (!model.empty())
        standin::appendRecord(model + ".events", {{"listening", static_cast<int>(::getpid())}});

    std::thread signals([&] {
        int signal = 0;
        sigwait(&terminations, &signal);
        standin::appendRecord(model + ".events", {{"sigterm", 1}});
        server.stop();
        sigwait(&terminations, &signal);
        standin::appendRecord(model + ".events", {{"sigterm", 2}});
        std::fflush(stdout);
        ::_exit(1);
    });
    signals.detach();
    const bool served = server.listen_after_bind();
    // A graceful shutdown that takes its time, so a second SIGTERM can arrive.
    standin::sleepMilliseconds(script->number("shutdown_ms", 0));
    return served ? 0 : 1;
}
