#include "harness/XvfbDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "harness/ChildProcesses.h"

namespace tavlo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(15);

// The window manager is ready once it has announced itself on the root window.
bool windowManagerAnnounced(const std::string& display) {
    Display* connection = XOpenDisplay(display.c_str());
    if (!connection) return false;
    bool announced = false;
    const Atom check = XInternAtom(connection, "_NET_SUPPORTING_WM_CHECK", True);
    if (check != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(connection, DefaultRootWindow(connection), check, 0, 1, False, XA_WINDOW, &type,
                               &format, &count, &after, &data) == Success) {
            announced = count == 1;
            if (data) XFree(data);
        }
    }
    XCloseDisplay(connection);
    return announced;
}

bool listsClient(Display* connection, Window window) {
    const Atom clients = XInternAtom(connection, "_NET_CLIENT_LIST", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool listed = false;
    if (XGetWindowProperty(connection, DefaultRootWindow(connection), clients, 0, 1024, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* windows = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count && !listed; ++i) listed = windows[i] == window;
    }
    if (data) XFree(data);
    return listed;
}

// Openbox announces itself a moment before it takes over the mapping of
// windows: a window mapped in between stays unmanaged for good. It is ready
// once a window of ours shows up in its client list.
bool windowManagerManages(const std::string& display, Clock::time_point deadline) {
    Display* connection = XOpenDisplay(display.c_str());
    if (!connection) return false;
    bool managed = false;
    while (!managed && Clock::now() < deadline) {
        const Window probe = XCreateSimpleWindow(connection, DefaultRootWindow(connection), 0, 0, 10, 10, 0, 0, 0);
        XMapWindow(connection, probe);
        XSync(connection, False);
        const auto probeDeadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(500));
        while (!(managed = listsClient(connection, probe)) && Clock::now() < probeDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        XDestroyWindow(connection, probe);
        XSync(connection, False);
    }
    XCloseDisplay(connection);
    return managed;
}

}  // namespace

std::string XvfbDesktop::missingPrograms() {
    std::string missing;
    if (findProgram("Xvfb").empty()) missing += "Xvfb ";
    if (findProgram("openbox").empty()) missing += "openbox ";
    return missing;
}

XvfbDesktop::XvfbDesktop(bool withWindowManager) {
    if (folder_.path().empty()) {
        error_ = "no temporary folder";
        return;
    }
    const std::string server = findProgram("Xvfb");
    if (server.empty()) {
        error_ = "Xvfb is not installed";
        return;
    }
    // The server writes its display number to this pipe once it accepts
    // connections; only the write end is inherited.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        error_ = "no pipe";
        return;
    }
    const int inherited = ::dup(ready[1]);
    ::close(ready[1]);
    serverPid_ = spawn({server, "-displayfd", std::to_string(inherited), "-screen", "0", "1280x1024x24", "-nolisten",
                        "tcp", "-noreset"},
                       childEnvironment({}, {}), folder_ / "xvfb.log", nullptr);
    ::close(inherited);

    std::string number;
    const auto deadline = Clock::now() + startTimeout;
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd entry{ready[0], POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0) continue;
        char chunk[16];
        const ssize_t got = ::read(ready[0], chunk, sizeof chunk);
        if (got <= 0) break;
        number.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(ready[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not start in time: " + readLog(folder_ / "xvfb.log");
        stop();
        return;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    if (!withWindowManager) return;

    const std::string manager = findProgram("openbox");
    if (manager.empty()) {
        error_ = "openbox is not installed";
        stop();
        return;
    }
    windowManagerPid_ = spawn({manager, "--sm-disable"},
                              childEnvironment({{"DISPLAY", display_}, {"HOME", folder_.path().string()}}, {}),
                              folder_ / "openbox.log", nullptr);
    while (Clock::now() < deadline && !windowManagerAnnounced(display_)) {
        if (exited(windowManagerPid_)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!windowManagerAnnounced(display_) || !windowManagerManages(display_, deadline)) {
        error_ = "openbox did not start in time: " + readLog(folder_ / "openbox.log");
        stop();
    }
}

XvfbDesktop::~XvfbDesktop() { stop(); }

void XvfbDesktop::stop() {
    stopProcess(windowManagerPid_);
    windowManagerPid_ = -1;
    stopProcess(serverPid_);
    serverPid_ = -1;
}

XvfbDesktop& XvfbDesktop::shared() {
    static XvfbDesktop desktop(true);
    if (desktop.running()) ::setenv("DISPLAY", desktop.display().c_str(), 1);
    return desktop;
}

}  // namespace tavlo::testing
