// The clipboard and the keystrokes through the protocols a client without
// the focus may use, against a real sway: what this program puts on the
// clipboard is what other clients read (wl-paste), what they put there is
// read here, and the virtual keyboard's paste reaches the focused field.
// The layer surface is drawn at the scale of a HiDPI output.
#include <gtest/gtest.h>

#include <QImage>

#include <poll.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "harness/SwayDesktop.h"
#include "harness/TextFieldApplication.h"
#include "platform/linux/wayland/DataControlClipboard.h"
#include "platform/linux/wayland/LayerSurface.h"
#include "platform/linux/wayland/VirtualKeyboardPoster.h"
#include "platform/linux/wayland/WaylandConnection.h"

namespace tavlo::wayland {
namespace {

using namespace std::chrono_literals;
using testing::SwayDesktop;
using testing::TextFieldApplication;
using testing::TextFieldSetup;
using testing::Toolkit;

class WaylandProtocolsSerially : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = SwayDesktop::missingPrograms(); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        if (!sway().running()) GTEST_SKIP() << "sway cannot start here: " << sway().error();
        // This process joins the session's compositor by the socket's full path.
        const auto environment = sway().environment();
        const std::string socket = (sway().runtime() / environment.at("WAYLAND_DISPLAY")).string();
        ::setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
        connection_ = WaylandConnection::open();
        ::unsetenv("WAYLAND_DISPLAY");
        ASSERT_TRUE(connection_);
    }
    static SwayDesktop& sway() { return SwayDesktop::shared(); }

    // Serves the connection (our clipboard answers readers from here) until
    // `done` or the limit; whether it came.
    template <typename Done>
    bool serveUntil(Done done, std::chrono::milliseconds limit = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline || !connection_->roundtrip()) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
    // The clipboard as another client reads it, while this one serves it.
    std::optional<std::string> readElsewhere() {
        auto reading = std::async(std::launch::async, [] { return sway().clipboard(); });
        serveUntil([&] { return reading.wait_for(0ms) == std::future_status::ready; }, 30s);
        return reading.get();
    }

    std::shared_ptr<WaylandConnection> connection_;
};

// The event loop calls for dispatching when the socket turns readable, but a
// round trip made before the call comes (setting the clipboard makes one)
// may already have taken what was there. Dispatching must then return at
// once: waiting for the compositor's next message hung the whole program.
TEST_F(WaylandProtocolsSerially, DispatchingHandsOutWhatArrivedAndNeverWaitsForMore) {
    wl_display* display = connection_->display();
    const auto arrived = [display] {
        pollfd incoming{wl_display_get_fd(display), POLLIN, 0};
        return ::poll(&incoming, 1, 2000) > 0;
    };
    static const wl_callback_listener listener = {
        [](void* data, wl_callback* callback, std::uint32_t) {
            *static_cast<bool*>(data) = true;
            wl_callback_destroy(callback);
        }};

    // What arrived is handed out.
    bool answered = false;
    wl_callback_add_listener(wl_display_sync(display), &listener, &answered);
    connection_->flush();
    ASSERT_TRUE(arrived());
    connection_->dispatchReadyEvents();
    EXPECT_TRUE(answered);

    // Readable a moment ago, read since by a round trip: nothing is waited
    // for. (Once the desktop has settled: the seat still announces keyboards
    // of clients that start with it.)
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(connection_->roundtrip());
    bool taken = false;
    wl_callback_add_listener(wl_display_sync(display), &listener, &taken);
    connection_->flush();
    ASSERT_TRUE(arrived());
    ASSERT_TRUE(connection_->roundtrip());
    ASSERT_TRUE(taken);
    auto dispatching = std::async(std::launch::async, [&] { connection_->dispatchReadyEvents(); });
    const bool returned = dispatching.wait_for(2s) == std::future_status::ready;
    EXPECT_TRUE(returned) << "dispatching waited for the compositor's next message";
    // (A message from the compositor frees a dispatch that waits.)
    if (!returned) connection_->roundtrip();
    dispatching.get();
}

TEST_F(WaylandProtocolsSerially, TheClipboardIsSharedBothWaysWithoutTheFocusAndEachChangeCountsOnce) {
    auto clipboard = DataControlClipboard::create(connection_);
    ASSERT_TRUE(clipboard) << "sway offers data control";

    const std::string ours = "caf\xc3\xa9 \xf0\x9f\x98\x80 line\nnext";
    const auto before = clipboard->changeCount();
    clipboard->setString(ours);
    EXPECT_EQ(clipboard->changeCount(), before + 1);
    EXPECT_EQ(clipboard->string(), ours);
    EXPECT_EQ(readElsewhere(), ours);
    // Our own change, come back from the compositor, is not a second one.
    EXPECT_EQ(clipboard->changeCount(), before + 1);

    // Another client's copy replaces ours and is read from it.
    const auto ownCount = clipboard->changeCount();
    // (wl-copy stays behind to serve its text, away from our pipes.)
    ASSERT_EQ(sway().run({"/bin/sh", "-c", "wl-copy 'from another client' </dev/null >/dev/null 2>&1"}), 0);
    EXPECT_TRUE(serveUntil([&] { return clipboard->changeCount() > ownCount; }));
    EXPECT_EQ(clipboard->string(), "from another client");

    // Emptied: other clients find nothing.
    clipboard->clearContents();
    EXPECT_EQ(clipboard->string(), std::nullopt);
    EXPECT_EQ(readElsewhere(), std::nullopt);
}

TEST_F(WaylandProtocolsSerially, ThePasteKeystrokeOfTheVirtualKeyboardReachesTheFocusedFieldUnlessItTakesWrittenText) {
    if (const auto missing = TextFieldApplication::missingPrograms(Toolkit::gtk3); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    auto clipboard = DataControlClipboard::create(connection_);
    ASSERT_TRUE(clipboard);
    struct Case {
        const char* name;
        bool takesWrittenText;
        const char* expected;
    };
    for (const Case& c : {Case{"PastedWithCtrlV", false, "Dear Ann, the report"},
                          Case{"LeftToTheAccessibilityBus", true, "Dear Ann, "}}) {
        SCOPED_TRACE(c.name);
        TextFieldSetup setup{"Dear Ann, ", 10, 10};
        setup.runAs = sway().asUser();
        setup.waylandSession = sway().environment();
        TextFieldApplication field(Toolkit::gtk3, setup);
        ASSERT_TRUE(field.running()) << field.error();
        clipboard->setString("the report");

        VirtualKeyboardPoster::Options options;
        options.focusedFieldTakesText = [&] { return c.takesWrittenText; };
        auto keys = VirtualKeyboardPoster::create(connection_, options);
        ASSERT_TRUE(keys) << "sway offers virtual keyboards";
        EXPECT_TRUE(keys->isPostingPermitted());
        std::optional<bool> sent;
        keys->postPaste(RunningApplication{field.pid(), std::nullopt, std::nullopt}, [&](bool s) { sent = s; });
        ASSERT_TRUE(sent);
        EXPECT_EQ(*sent, !c.takesWrittenText);
        // The field asks us for the clipboard's text: serve it until it arrives.
        std::optional<TextFieldApplication::FieldState> state;
        serveUntil(
            [&] {
                state = field.fieldState();
                return state && state->text == c.expected;
            },
            c.takesWrittenText ? 1s : 10s);
        ASSERT_TRUE(state);
        EXPECT_EQ(state->text, c.expected);
    }
}

// On an output at scale 2 the layer surface's picture has twice the pixels
// each way and reaches the screen pixel for pixel: a pattern of single
// pixels is still there in a screenshot. Enlarged from a picture at scale 1,
// every second pair of neighbours would be alike (or blurred into grey).
TEST_F(WaylandProtocolsSerially, OnAHiDpiOutputTheLayerSurfaceIsDrawnAtTheOutputsScale) {
    if (!SwayDesktop::canTakeScreenshots()) GTEST_SKIP() << "not installed: grim";
    ASSERT_TRUE(sway().command("output HEADLESS-1 scale 2"));
    struct BackToScaleOne {
        ~BackToScaleOne() { SwayDesktop::shared().command("output HEADLESS-1 scale 1"); }
    } restore;
    ASSERT_TRUE(connection_->roundtrip());  // the output's new scale arrives

    const LayerSurfacePlacement placement;
    auto surface = LayerSurface::create(connection_, placement);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->scale(), 2);
    const int width = surface->pixelWidth();
    const int height = surface->pixelHeight();
    EXPECT_EQ(width, placement.width * 2);
    std::vector<std::uint32_t> checkerboard(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            checkerboard[static_cast<std::size_t>(y * width + x)] = (x + y) % 2 ? 0xFF000000u : 0xFFFFFFFFu;
    surface->show(checkerboard.data());
    ASSERT_TRUE(serveUntil([&] { return surface->mapped(); }));
    EXPECT_EQ(surface->scale(), 2) << "the surface entered the output at scale 2";
    connection_->roundtrip();

    const auto shot = sway().screenshot("hidpi-layer-surface");
    ASSERT_TRUE(shot);
    const QImage screen(QString::fromStdString(shot->string()));
    ASSERT_FALSE(screen.isNull());
    // At the right edge (its margin in pixels), halfway down.
    const int left = screen.width() - placement.rightMargin * 2 - width;
    const int top = (screen.height() - height) / 2;
    int alternating = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x + 1 < left + width; ++x) {
            const QRgb a = screen.pixel(x, y) & 0xFFFFFF;
            const QRgb b = screen.pixel(x + 1, y) & 0xFFFFFF;
            if ((a == 0 && b == 0xFFFFFF) || (a == 0xFFFFFF && b == 0)) ++alternating;
        }
    EXPECT_GT(alternating, (width - 1) * height * 9 / 10) << "screenshot: " << shot->string();
}

}  // namespace
}  // namespace tavlo::wayland
