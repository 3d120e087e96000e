#pragma once
// A private X server (Xvfb) with a window manager (openbox) for tests that
// need a real desktop: keys typed with XTest, global grabs, windows and
// focus. Start-up is bounded in time; both programs are stopped by their
// process ids when the object goes away. Keyboard, focus and clipboard are
// shared by everything on the server, so tests using it run one at a time.
#include <sys/types.h>

#include <string>

#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {

class XvfbDesktop {
public:
    // The programs this needs that are not installed (empty when all are).
    static std::string missingPrograms();

    explicit XvfbDesktop(bool withWindowManager = true);
    ~XvfbDesktop();
    XvfbDesktop(const XvfbDesktop&) = delete;
    XvfbDesktop& operator=(const XvfbDesktop&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // For DISPLAY, such as ":12".
    const std::string& display() const { return display_; }

    // One desktop shared by every test of this program, started at first use
    // and stopped at exit; DISPLAY points at it from then on.
    static XvfbDesktop& shared();

private:
    void stop();

    TemporaryDirectory folder_;
    std::string display_;
    std::string error_;
    pid_t serverPid_ = -1;
    pid_t windowManagerPid_ = -1;
};

}  // namespace tavlo::testing
