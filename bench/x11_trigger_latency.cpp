// From a key pressed on the X server (through XTest, as a keyboard would) to
// the trigger reaching the controller on the main thread: the function-key
// stand-in through the key monitor, and F13 through the global shortcut and
// the main queue. Runs against the private X desktop of the test harness.
#include <benchmark/benchmark.h>

// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QCoreApplication>
#include <QEventLoop>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <memory>

#include "harness/XvfbDesktop.h"
#include "platform/linux/qt/QtMainQueue.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11HotKeyService.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "shortcuts/HotKeyManager.h"

namespace {

using Clock = std::chrono::steady_clock;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "bench_x11_trigger_latency";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

bool pumpUntil(const bool& flag) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!flag && Clock::now() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return flag;
}

struct Desktop {
    Desktop() {
        auto& desktop = tavlo::testing::XvfbDesktop::shared();
        if (!desktop.running()) return;
        ensureApplication();
        connection = tavlo::x11::X11Connection::open(desktop.display());
        typist = XOpenDisplay(desktop.display().c_str());
    }
    void send(KeySym keysym, bool down) {
        XTestFakeKeyEvent(typist, XKeysymToKeycode(typist, keysym), down ? True : False, CurrentTime);
        XFlush(typist);
    }
    std::shared_ptr<tavlo::x11::X11Connection> connection;
    Display* typist = nullptr;
};

void BM_FunctionKeyToHandler(benchmark::State& state) {
    Desktop desktop;
    if (!desktop.connection) {
        state.SkipWithError("no X desktop");
        return;
    }
    auto source = tavlo::x11::X11KeyEventSource::create(desktop.connection);
    bool down = false, up = false;
    source->start({nullptr, [&](bool isDown) { (isDown ? down : up) = true; }, nullptr});
    for (auto _ : state) {
        down = up = false;
        const auto start = Clock::now();
        desktop.send(XK_Control_R, true);
        if (!pumpUntil(down)) state.SkipWithError("the press never arrived");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        desktop.send(XK_Control_R, false);
        pumpUntil(up);
    }
}
BENCHMARK(BM_FunctionKeyToHandler)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

struct ToggleCounter : tavlo::HotKeyManagerDelegate {
    bool toggled = false;
    void hotKeyManagerDidPressToggle() override {}
    void hotKeyManagerDidPressMouseTrigger() override { toggled = true; }
    void hotKeyManagerDidPressRepolish(tavlo::TransformStyle) override {}
    void hotKeyManagerDidPressEscape() override {}
    void hotKeyManagerDidPressReturn() override {}
};

void BM_MouseTriggerShortcutToController(benchmark::State& state) {
    Desktop desktop;
    if (!desktop.connection) {
        state.SkipWithError("no X desktop");
        return;
    }
    auto queue = std::make_shared<tavlo::QtMainQueue>();
    auto manager = tavlo::HotKeyManager::create(tavlo::x11::X11HotKeyService::create(desktop.connection), queue);
    auto delegate = std::make_shared<ToggleCounter>();
    manager->delegate = delegate;
    manager->install(tavlo::ShortcutSettings::defaults(), tavlo::TriggerShortcut::function());
    // F13 sits on key code 191 on a standard keyboard, whatever its symbol.
    const KeyCode f13 = 191;
    for (auto _ : state) {
        delegate->toggled = false;
        const auto start = Clock::now();
        XTestFakeKeyEvent(desktop.typist, f13, True, CurrentTime);
        XFlush(desktop.typist);
        if (!pumpUntil(delegate->toggled)) state.SkipWithError("the shortcut never arrived");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        XTestFakeKeyEvent(desktop.typist, f13, False, CurrentTime);
        XFlush(desktop.typist);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}
BENCHMARK(BM_MouseTriggerShortcutToController)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
