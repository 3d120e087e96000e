#pragma once
// One widgets application for this test program, on the offscreen platform:
// drawing and widget behaviour are checked without a display server.
#include <QApplication>

#include <cstdlib>

namespace tavlo::testing {

inline void ensureOffscreenApplication() {
    static int argc = 1;
    static char name[] = "tests_indicator";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QApplication(argc, argv);
}

}  // namespace tavlo::testing
