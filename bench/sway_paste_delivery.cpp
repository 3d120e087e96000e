// Delivery on the sway desktop of the test harness into a field that takes
// no written text (as a terminal): from putting a text on the clipboard
// through the data-control protocol and typing Ctrl+V with a virtual keyboard
// to the field holding the text. The field is asked for its text in a loop
// that also serves the clipboard to it, so the figure includes up to one
// such round (about a millisecond). Next to x11_paste_delivery's keystroke
// figure for the same step on X11; goal: under 100 ms.
#include <benchmark/benchmark.h>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "harness/SwayDesktop.h"
#include "harness/TextFieldApplication.h"
#include "platform/linux/wayland/DataControlClipboard.h"
#include "platform/linux/wayland/VirtualKeyboardPoster.h"
#include "platform/linux/wayland/WaylandConnection.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavlo::testing::SwayDesktop;
using tavlo::testing::TextFieldApplication;

void BM_PasteShortTextThroughClipboardAndVirtualKeyboard(benchmark::State& state) {
    auto& sway = SwayDesktop::shared();
    if (!SwayDesktop::missingPrograms().empty() || !sway.running()) {
        state.SkipWithError("no sway desktop here");
        return;
    }
    const auto environment = sway.environment();
    ::setenv("WAYLAND_DISPLAY", (sway.runtime() / environment.at("WAYLAND_DISPLAY")).c_str(), 1);
    auto connection = tavlo::wayland::WaylandConnection::open();
    ::unsetenv("WAYLAND_DISPLAY");
    auto clipboard = tavlo::wayland::DataControlClipboard::create(connection);
    auto keys = tavlo::wayland::VirtualKeyboardPoster::create(connection);
    tavlo::testing::TextFieldSetup setup;
    setup.pasteOnly = true;
    setup.runAs = sway.asUser();
    setup.waylandSession = environment;
    TextFieldApplication field(tavlo::testing::Toolkit::gtk3, setup);
    if (!clipboard || !keys || !field.running()) {
        state.SkipWithError("no data control, virtual keyboard or field");
        return;
    }
    std::string expected;
    int round = 0;
    for (auto _ : state) {
        const std::string text = " word" + std::to_string(++round);
        expected += text;
        const auto start = Clock::now();
        clipboard->setString(text);
        keys->send({KEY_LEFTCTRL, KEY_V});
        bool arrived = false;
        while (!arrived && Clock::now() - start < std::chrono::seconds(5)) {
            connection->roundtrip();
            const auto now = field.fieldState();
            arrived = now && now->text == expected;
        }
        if (!arrived) {
            state.SkipWithError("the text did not arrive");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

}  // namespace

BENCHMARK(BM_PasteShortTextThroughClipboardAndVirtualKeyboard)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);
