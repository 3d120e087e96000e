#include "harness/TextFieldApplication.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "harness/ChildProcesses.h"

namespace tavlo::testing {
namespace {

constexpr const char* python = "/usr/bin/python3";

std::string gtkScript() { return std::string(TAVLO_TEST_HARNESS_DIR) + "/a11y_gtk_field.py"; }
std::string qtProgram() { return TAVLO_QT_TEXT_FIELD; }

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string result;
    for (unsigned char byte : bytes) {
        result += digits[byte >> 4];
        result += digits[byte & 15];
    }
    return result;
}

std::optional<std::string> unhex(const std::string& text) {
    if (text.size() % 2) return std::nullopt;
    std::string result;
    for (std::size_t index = 0; index < text.size(); index += 2) {
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            return -1;
        };
        const int high = digit(text[index]), low = digit(text[index + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        result += static_cast<char>(high * 16 + low);
    }
    return result;
}

}  // namespace

std::string TextFieldApplication::missingPrograms(Toolkit toolkit) {
    if (toolkit == Toolkit::qt) return ::access(qtProgram().c_str(), X_OK) == 0 ? "" : "tavlo-qt-text-field";
    if (::access(python, X_OK) != 0) return "python3";
    // The script needs GTK 3 through GObject introspection.
    const std::string check = std::string(python) +
                              " -c \"import gi; gi.require_version('Gtk', '3.0'); from gi.repository import Gtk\""
                              " >/dev/null 2>&1";
    return std::system(check.c_str()) == 0 ? "" : "python3-gi gir1.2-gtk-3.0";
}

TextFieldApplication::TextFieldApplication(Toolkit toolkit, const TextFieldSetup& setup) {
    std::vector<std::string> argv;
    if (toolkit == Toolkit::gtk3) argv = {python, gtkScript()};
    else argv = {qtProgram()};
    argv.insert(argv.end(), {"--text", hex(setup.text), "--selection", std::to_string(setup.selectionStart),
                             std::to_string(setup.selectionEnd)});
    if (setup.refusesPaste) argv.push_back("--refuse-paste");
    if (setup.password) argv.push_back("--password");
    if (setup.pasteOnly) argv.push_back("--paste-only");
    // Both toolkits join the accessibility bus only when nothing says not to;
    // Qt also only when told it is wanted.
    std::vector<std::pair<std::string, std::string>> replaced = {
        {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}, {"QT_QPA_PLATFORM", "xcb"}, {"GSETTINGS_BACKEND", "memory"}};
    std::vector<std::string> removed = {"NO_AT_BRIDGE", "QT_ACCESSIBILITY", "GTK_A11Y", "WAYLAND_DISPLAY"};
    if (!setup.waylandSession.empty()) {
        // A native Wayland client of the test desktop, and nothing of X11.
        replaced = {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}, {"QT_QPA_PLATFORM", "wayland"},
                    {"GDK_BACKEND", "wayland"}, {"GSETTINGS_BACKEND", "memory"}};
        replaced.insert(replaced.end(), setup.waylandSession.begin(), setup.waylandSession.end());
        removed = {"NO_AT_BRIDGE", "QT_ACCESSIBILITY", "GTK_A11Y", "DISPLAY", "XAUTHORITY", "AT_SPI_BUS_ADDRESS"};
        argv.insert(argv.begin(), setup.runAs.begin(), setup.runAs.end());
    }
    const auto environment = childEnvironment(replaced, removed);

    int toChild[2], fromChild[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toChild) != 0 ||
        ::pipe2(fromChild, O_CLOEXEC) != 0) {
        error_ = "no pipes";
        return;
    }
    const int log = ::open((folder_ / "application.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    std::vector<char*> args, env;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    std::vector<std::string> environmentCopy = environment;
    for (auto& entry : environmentCopy) env.push_back(entry.data());
    env.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (::dup2(toChild[1], 0) < 0 || ::dup2(fromChild[1], 1) < 0 || ::dup2(log, 2) < 0) ::_exit(127);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
    ::close(toChild[1]);
    ::close(fromChild[1]);
    ::close(log);
    input_ = toChild[0];
    output_ = fromChild[0];
    if (pid_ < 0) {
        error_ = "cannot start the application";
        return;
    }
    if (readLine(std::chrono::seconds(15)) != "ready")
        error_ = "the application did not come up in time: " + readLog(folder_ / "application.log");
}

TextFieldApplication::~TextFieldApplication() {
    if (pid_ > 0) stopProcess(pid_);
    if (input_ >= 0) ::close(input_);
    if (output_ >= 0) ::close(output_);
}

std::string TextFieldApplication::readLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (const auto end = buffer_.find('\n'); end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{output_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return {};
        char chunk[4096];
        const ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got <= 0) return {};
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<TextFieldApplication::FieldState> TextFieldApplication::fieldState() {
    if (pid_ <= 0) return std::nullopt;
    static const char request[] = "state\n";
    if (::send(input_, request, sizeof request - 1, MSG_NOSIGNAL) != sizeof request - 1) return std::nullopt;
    std::istringstream reply(readLine(std::chrono::seconds(5)));
    std::string word, text;
    FieldState state;
    if (!(reply >> word >> state.selectionStart >> state.selectionEnd) || word != "state") return std::nullopt;
    reply >> text;  // absent for an empty field
    auto decoded = unhex(text);
    if (!decoded) return std::nullopt;
    state.text = std::move(*decoded);
    return state;
}

void TextFieldApplication::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void TextFieldApplication::pause() {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void TextFieldApplication::resume() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
}

}  // namespace tavlo::testing
