#pragma once
// What the tests against the private X server share: a Qt application whose
// loop serves our connection, bounded waits that keep it running, another X
// client that types with XTest, and outside programs (xclip, GTK windows,
// xterm) run without blocking the loop that answers them.
#include <gtest/gtest.h>

// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QCoreApplication>
#include <QEventLoop>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "harness/ChildProcesses.h"
#include "harness/PrivateSessionBus.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::x11::testsupport {

using namespace std::chrono_literals;

inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "tests_platform";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

inline bool runLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

inline void pumpFor(std::chrono::milliseconds duration) {
    runLoopUntil([] { return false; }, duration);
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A second X client that types with XTest, as the keyboard would.
class Typist {
public:
    explicit Typist(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
    ~Typist() {
        if (display_) XCloseDisplay(display_);
    }
    Display* display() const { return display_; }
    unsigned keycode(KeySym keysym) const { return XKeysymToKeycode(display_, keysym); }
    void press(unsigned keycode) { send(keycode, true); }
    void release(unsigned keycode) { send(keycode, false); }
    void tap(unsigned keycode) {
        press(keycode);
        release(keycode);
    }

private:
    void send(unsigned keycode, bool down) {
        XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
        XSync(display_, False);
    }
    Display* display_;
};

// An outside program whose output (both streams) lands in a file. Stopped
// by its process id when the object goes away.
class Program {
public:
    Program(const std::vector<std::string>& argv, const std::string* input = nullptr,
            const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        pid_ = testing::spawn(argv, testing::childEnvironment(environment, {}), folder_ / "output", input);
    }
    ~Program() { stop(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return pid_; }
    std::string output() const { return readFile(folder_ / "output"); }
    // Serves our connection until the program ends; false when it did not.
    bool waitForExit(std::chrono::milliseconds limit = 5s) {
        if (pid_ <= 0) return true;
        if (!runLoopUntil([&] { return testing::exited(pid_); }, limit)) return false;
        pid_ = -1;
        return true;
    }
    void stop() {
        if (pid_ > 0) testing::stopProcess(pid_);
        pid_ = -1;
    }

private:
    testing::TemporaryDirectory folder_;
    pid_t pid_ = -1;
};

// A GTK 3 window with one text entry, in its own process, on a private
// session bus (GTK announces its application id only when it has one).
// Ready once its window is on screen.
inline std::unique_ptr<Program> startTextField(const std::string& applicationId, const std::string& program,
                                               const std::string& text = "") {
    static testing::PrivateSessionBus bus(false);
    EXPECT_TRUE(bus.running()) << bus.error();
    auto field = std::make_unique<Program>(
        std::vector<std::string>{"/usr/bin/python3", TAVLO_TEST_SOURCE_DIR "/harness/gtk_text_field.py", "--app-id",
                                 applicationId, "--program", program, "--text", text},
        nullptr,
        std::vector<std::pair<std::string, std::string>>{{"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                                                         {"NO_AT_BRIDGE", "1"}});
    const bool ready = runLoopUntil([&] { return field->output().find("ready ") != std::string::npos; }, 15s);
    EXPECT_TRUE(ready) << field->output();
    return field;
}

// The entry's text as the field last reported it, with the time it changed.
struct FieldText {
    std::string text;
    std::int64_t changedAtNanoseconds = 0;
};
inline std::optional<FieldText> lastFieldText(const std::string& output) {
    const std::size_t line = output.rfind("changed ");
    if (line == std::string::npos) return std::nullopt;
    const std::size_t end = output.find('\n', line);
    if (end == std::string::npos) return std::nullopt;  // still being written
    const std::size_t space = output.find(' ', line + 8);
    FieldText result;
    result.changedAtNanoseconds = std::stoll(output.substr(line + 8, space - line - 8));
    result.text = nlohmann::json::parse(output.substr(space + 1, end - space - 1)).get<std::string>();
    return result;
}

}  // namespace tavlo::x11::testsupport
