// The bubble on a real X server (Xvfb with openbox): shown, clicked and
// dragged with the pointer (XTest) while a GTK text field of another program
// has the keyboard focus, the field must keep it, so typing still goes
// there. The desktop is shared, so these tests run one at a time.
//
// With TAVLO_BUBBLE_SCREENSHOTS set to a folder, a screenshot of the bubble
// in each state over the text field's window is saved there for looking at,
// without and (where xcompmgr is installed) with a compositing manager.
#include <gtest/gtest.h>

// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness/ChildProcesses.h"
#include "harness/TemporaryDirectory.h"
#include "harness/XvfbDesktop.h"
#include "indicator/BubbleWindow.h"

namespace tavlo {
namespace {

// A GTK window with one text field that reports every change of its text.
constexpr const char* textFieldProgram = R"(
import sys, gi
gi.require_version('Gtk', '3.0')
from gi.repository import Gtk
window = Gtk.Window(title='Focus target')
window.set_default_size(500, 300)
window.move(400, 250)
entry = Gtk.Entry()
entry.connect('changed', lambda e: print('text=' + e.get_text(), flush=True))
window.add(entry)
window.connect('destroy', Gtk.main_quit)
window.show_all()
window.present()
Gtk.main()
)";

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tests_desktop";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    new QApplication(argc, argv);
}

bool runLoopUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void settle(int milliseconds = 200) {
    runLoopUntil([] { return false; }, milliseconds);
}

struct RecordingDelegate : BubbleViewDelegate {
    std::vector<std::string> calls;
    void bubbleDidRequestToggle() override { calls.push_back("toggle"); }
    void bubbleDidMove(const Rect& frame) override { calls.push_back("move " + rectText(frame)); }
};

// Another X client: looks at focus and windows, and moves the pointer and
// types with XTest as the user would.
class User {
public:
    explicit User(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
    ~User() {
        if (display_) XCloseDisplay(display_);
    }
    Display* display() const { return display_; }

    Window findWindowNamed(const std::string& name) { return find(DefaultRootWindow(display_), name); }

    // Whether the keyboard focus is on `window` or inside it.
    bool focusIsIn(Window window) {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        while (focus != None && focus != PointerRoot) {
            if (focus == window) return true;
            Window root = None, parent = None, *children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(display_, focus, &root, &parent, &children, &count)) return false;
            if (children) XFree(children);
            if (parent == root) return false;
            focus = parent;
        }
        return false;
    }

    Window activeWindow() {
        const auto values = cardinals(DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        return values.empty() ? None : values.front();
    }

    std::vector<unsigned long> cardinals(Window window, const char* property, Atom type) {
        std::vector<unsigned long> values;
        Atom actualType = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, window, XInternAtom(display_, property, False), 0, 64, False, type,
                               &actualType, &format, &count, &after, &data) == Success &&
            data) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            values.assign(items, items + count);
            XFree(data);
        }
        return values;
    }

    bool hasState(Window window, const char* state) {
        const Atom atom = XInternAtom(display_, state, False);
        for (unsigned long value : cardinals(window, "_NET_WM_STATE", XA_ATOM))
            if (value == atom) return true;
        return false;
    }

    void movePointer(int x, int y) {
        XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
        XSync(display_, False);
    }
    void button(bool down) {
        XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
        XSync(display_, False);
    }
    void type(KeySym keysym) {
        const unsigned keycode = XKeysymToKeycode(display_, keysym);
        XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
        XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
        XSync(display_, False);
    }

private:
    Window find(Window window, const std::string& name) {
        char* windowName = nullptr;
        if (XFetchName(display_, window, &windowName) && windowName) {
            const bool match = name == windowName;
            XFree(windowName);
            if (match) return window;
        }
        Window root = None, parent = None, *children = nullptr;
        unsigned count = 0;
        Window found = None;
        if (XQueryTree(display_, window, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && found == None; ++i) found = find(children[i], name);
            if (children) XFree(children);
        }
        return found;
    }

    Display* display_;
};

class BubbleFocusSerially : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = testing::XvfbDesktop::missingPrograms(); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        if (testing::findProgram("python3").empty()) GTEST_SKIP() << "not installed: python3";
        auto& desktop = testing::XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        ensureApplication();
        user = std::make_unique<User>(desktop.display());
        ASSERT_TRUE(user->display());

        fieldLog = folder.path() / "field.log";
        fieldPid = testing::spawn({"/usr/bin/python3", "-c", textFieldProgram},
                                  testing::childEnvironment({{"GDK_BACKEND", "x11"}, {"NO_AT_BRIDGE", "1"}}, {}),
                                  fieldLog, nullptr);
        ASSERT_TRUE(runLoopUntil([&] { return (field = user->findWindowNamed("Focus target")) != None; }, 15000))
            << testing::readLog(fieldLog);
        ASSERT_TRUE(runLoopUntil([&] { return user->focusIsIn(field); })) << "the text field never got the focus";

        bubble = std::make_unique<BubbleWindow>(Rect{600, 400, 46, 46});
        bubble->bubbleView().setDelegate(delegate);
    }
    void TearDown() override {
        bubble.reset();
        testing::stopProcess(fieldPid);
    }

    // What the text field holds, as it last reported.
    std::string fieldText() {
        const std::string log = testing::readLog(fieldLog);
        const auto line = log.rfind("text=");
        if (line == std::string::npos) return {};
        return log.substr(line + 5, log.find('\n', line) - line - 5);
    }

    void showBubble() {
        bubble->show();
        ASSERT_TRUE(runLoopUntil([&] {
            XWindowAttributes attributes;
            return XGetWindowAttributes(user->display(), static_cast<Window>(bubble->winId()), &attributes) &&
                   attributes.map_state == IsViewable;
        }));
        settle();
    }

    void expectFocusStaysInTheField() {
        EXPECT_TRUE(user->focusIsIn(field));
        EXPECT_TRUE(user->focusIsIn(user->activeWindow()) || user->activeWindow() == field);
    }

    testing::TemporaryDirectory folder;
    std::filesystem::path fieldLog;
    pid_t fieldPid = -1;
    Window field = None;
    std::unique_ptr<User> user;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::unique_ptr<BubbleWindow> bubble;
};

TEST_F(BubbleFocusSerially, ShowingTheBubbleLeavesTheFocusInTheTextField) {
    showBubble();
    expectFocusStaysInTheField();
    // Above other windows, on every desktop (as the window manager keeps
    // it), out of the taskbar; cut round because no compositor runs here.
    const Window window = static_cast<Window>(bubble->winId());
    auto onEveryDesktop = [&] {
        const auto desktop = user->cardinals(window, "_NET_WM_DESKTOP", XA_CARDINAL);
        return desktop.size() == 1 && static_cast<std::uint32_t>(desktop.front()) == 0xFFFFFFFFu;
    };
    EXPECT_TRUE(user->hasState(window, "_NET_WM_STATE_ABOVE"));
    EXPECT_TRUE(user->hasState(window, "_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_TRUE(onEveryDesktop());
    EXPECT_TRUE(bubble->isShaped());

    // Hidden and shown again: still all of that.
    bubble->hide();
    settle();
    showBubble();
    EXPECT_TRUE(onEveryDesktop());
    EXPECT_TRUE(user->hasState(window, "_NET_WM_STATE_SKIP_TASKBAR"));
    expectFocusStaysInTheField();
}

TEST_F(BubbleFocusSerially, ClickingTheBubbleTogglesAndTypingStillGoesToTheTextField) {
    showBubble();
    user->movePointer(623, 423);
    settle(100);
    EXPECT_TRUE(bubble->bubbleView().model().hover());
    user->button(true);
    user->button(false);
    ASSERT_TRUE(runLoopUntil([&] { return !delegate->calls.empty(); }));
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"toggle"});
    settle();
    expectFocusStaysInTheField();

    user->type(XK_h);
    user->type(XK_i);
    EXPECT_TRUE(runLoopUntil([&] { return fieldText() == "hi"; })) << testing::readLog(fieldLog);

    user->movePointer(100, 100);
    EXPECT_TRUE(runLoopUntil([&] { return !bubble->bubbleView().model().hover(); }));
}

TEST_F(BubbleFocusSerially, DraggingTheBubbleMovesItAndLeavesTheFocusInTheTextField) {
    showBubble();
    user->movePointer(623, 423);
    settle(100);
    user->button(true);
    for (int step = 1; step <= 10; ++step) {
        user->movePointer(623 + 10 * step, 423 + 5 * step);
        settle(20);
    }
    user->button(false);
    ASSERT_TRUE(runLoopUntil([&] { return !delegate->calls.empty(); }));
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"move {{700, 450}, {46, 46}}"});
    EXPECT_EQ(bubble->pos(), QPoint(700, 450));
    settle();
    expectFocusStaysInTheField();

    // Dragged far past the bottom-right corner: stays whole on the screen.
    user->movePointer(723, 473);
    settle(100);
    user->button(true);
    user->movePointer(1000, 800);
    settle(20);
    user->movePointer(1279, 1023);
    settle(50);
    user->button(false);
    ASSERT_TRUE(runLoopUntil([&] { return delegate->calls.size() == 2; }));
    EXPECT_EQ(delegate->calls.back(), "move {{1234, 978}, {46, 46}}");
    expectFocusStaysInTheField();
}

// What the screen shows in `area`, as the X server has it.
QImage screenArea(const QRect& area) {
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

bool compositorRunning(Display* display) {
    const Atom selection = XInternAtom(display, "_NET_WM_CM_S0", False);
    return XGetSelectionOwner(display, selection) != None;
}

struct ShownState {
    const char* name;
    BubbleState state;
    bool handsFree;
};

TEST_F(BubbleFocusSerially, EachStateOverAWindowWithAndWithoutACompositor) {
    const char* folderForShots = std::getenv("TAVLO_BUBBLE_SCREENSHOTS");
    const QRect around(540, 360, 86, 86);
    const QImage before = screenArea(around);
    bubble->move(560, 380);
    showBubble();
    const std::vector<ShownState> states = {{"idle", BubbleState::idle, false},
                                            {"listening", BubbleState::listening, false},
                                            {"handsfree", BubbleState::listening, true},
                                            {"processing", BubbleState::processing, false},
                                            {"success", BubbleState::success, false},
                                            {"error", BubbleState::error, false}};
    auto showEach = [&](const std::string& suffix) {
        for (const auto& shown : states) {
            SCOPED_TRACE(shown.name + suffix);
            bubble->setHandsFree(shown.handsFree);
            bubble->setState(shown.state);
            settle(300);
            expectFocusStaysInTheField();
            // The corners of the bubble's square show what lies below, not a
            // black square: the window is cut round or blended. (A compositor
            // may lay the faint end of the halo there, and may take a moment
            // to paint a change.)
            auto cornersShowWhatIsBelow = [&](const QImage& shot) {
                for (const QPoint corner : {QPoint(21, 21), QPoint(64, 21), QPoint(21, 64), QPoint(64, 64)}) {
                    const QRgb seen = shot.pixel(corner), below = before.pixel(corner);
                    if (std::max({std::abs(qRed(seen) - qRed(below)), std::abs(qGreen(seen) - qGreen(below)),
                                  std::abs(qBlue(seen) - qBlue(below))}) > 48)
                        return false;
                }
                return true;
            };
            QImage shot;
            EXPECT_TRUE(runLoopUntil([&] { return cornersShowWhatIsBelow(shot = screenArea(around)); }));
            if (folderForShots) {
                EXPECT_TRUE(shot.save(QString::fromStdString(std::string(folderForShots) + "/bubble-" + shown.name +
                                                             suffix + ".png")));
            }
        }
    };
    // No compositor here: cut to the round body, drawn opaque.
    ASSERT_FALSE(compositorRunning(user->display()));
    EXPECT_TRUE(bubble->isShaped());
    EXPECT_TRUE(bubble->bubbleView().model().opaque());
    showEach("");

    const std::string compositor = testing::findProgram("xcompmgr");
    if (compositor.empty()) GTEST_SKIP() << "xcompmgr is not installed: the bubble was not seen composited";
    const pid_t compositorPid = testing::spawn({compositor}, testing::childEnvironment({}, {}),
                                               folder.path() / "compositor.log", nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return compositorRunning(user->display()); }, 10000))
        << testing::readLog(folder.path() / "compositor.log");
    // The next state sees the compositor: whole and translucent.
    bubble->setState(BubbleState::idle);
    EXPECT_FALSE(bubble->isShaped());
    EXPECT_FALSE(bubble->bubbleView().model().opaque());
    showEach("-composited");
    // And when it goes away, cut round again.
    testing::stopProcess(compositorPid);
    ASSERT_TRUE(runLoopUntil([&] { return !compositorRunning(user->display()); }, 10000));
    bubble->setState(BubbleState::idle);
    EXPECT_TRUE(bubble->isShaped());
    EXPECT_TRUE(bubble->bubbleView().model().opaque());
}

}  // namespace
}  // namespace tavlo
