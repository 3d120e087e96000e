// Start-up, the tray menu, update checks and the launch self-test of the
// desktop program, on the simulated desktop in virtual time.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>

#include "app/core/DictationSessionFixture.h"
#include "app/core/TriggerGuide.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;

std::string manifest(const std::string& version, const std::string& build) {
    return R"({"version":")" + version + R"(","build":")" + build +
           R"(","minimum_macos":"13.0","download_url":"https://tavlo.app/download","release_notes":"Faster."})";
}

class Startup : public DictationSession {
protected:
    bool logged(const std::string& prefix) const {
        return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    }
    void serve(const std::string& body) {
        http->setServer([body](const HttpRequest&) { return SimHttpClient::Reply::status(200, body); });
    }
};

TEST_F(Startup, LaunchInstallsEverythingLogsAndSchedulesItsLaterSteps) {
    store.setSpeechModel(SpeechModel::localWhisper);
    const Rect frame = controller->placeBubble();
    EXPECT_EQ(store.bubbleFrame(), frame);
    controller->applicationDidFinishLaunching();
    EXPECT_TRUE(bubble->visible());
    EXPECT_EQ(statusItem->history().back(), B::idle);
    EXPECT_TRUE(hotKeyService->isRegistered(105, 0));
    EXPECT_TRUE(keys->started());
    EXPECT_TRUE(logged("launch bundle=app.tavlo.Tavlo path=/usr/bin/tavlo axTrusted=true postEvent=true "
                       "frontmost=Text Editor"));
    // Never checked before: the automatic check asks at 3.5 s.
    serve(manifest("1.0.0", "1"));
    advance(3499ms);
    EXPECT_TRUE(http->requests().empty());
    advance(1ms);
    EXPECT_EQ(http->requests().size(), 1u);
    run();
    EXPECT_TRUE(alerts->shown.empty()) << "an automatic check is silent when up to date";
    advance(500ms);  // 4.0 s: local Whisper is warmed up
    EXPECT_FALSE(transcriber->prepared.empty());
}

TEST_F(Startup, AutomaticChecksAnnounceANewVersionOnceAndKeepTheirSchedule) {
    store.setUpdateCheckFrequency(UpdateCheckFrequency::daily);
    serve(manifest("1.1.0", "7"));
    controller->checkForUpdatesAutomatically();
    run();
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].message, "Update available");
    EXPECT_EQ(alerts->shown[0].buttons, (std::vector<std::string>{"Download", "Later"}));
    alerts->answer(0);
    EXPECT_EQ(desktop->openedURLs, std::vector<std::string>{"https://tavlo.app/download"});
    EXPECT_EQ(store.lastPromptedUpdateIdentifier(), "1.1.0-7");

    clock.advance(std::chrono::hours(25));  // a day later: checked again, but not announced again
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_EQ(http->requests().size(), 2u);
    EXPECT_EQ(alerts->shown.size(), 1u);

    // A manual check shows every result, this one too.
    controller->checkForUpdates();
    run();
    EXPECT_EQ(alerts->shown.size(), 2u);

    store.setUpdateCheckFrequency(UpdateCheckFrequency::weekly);
    clock.advance(std::chrono::hours(24 * 6));
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_EQ(http->requests().size(), 3u) << "weekly, last check six days ago: no request";
    clock.advance(std::chrono::hours(24));
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_EQ(http->requests().size(), 4u);
}

TEST_F(Startup, AnAutomaticAnnouncementWaitsForTheDictationAndLeavesTheFocusAlone) {
    store.setUpdateCheckFrequency(UpdateCheckFrequency::daily);
    serve(manifest("1.1.0", "7"));
    bubble->setState(B::listening);
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_TRUE(alerts->shown.empty()) << "never while a dictation runs";
    advance(10s);
    EXPECT_TRUE(alerts->shown.empty());
    bubble->setState(B::idle);
    advance(5s);
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].message, "Update available");
    EXPECT_FALSE(alerts->shown[0].takesFocus);
    // One the user asked for comes to the front.
    controller->checkForUpdates();
    run();
    ASSERT_EQ(alerts->shown.size(), 2u);
    EXPECT_TRUE(alerts->shown[1].takesFocus);
}

TEST_F(Startup, NeverMeansNoAutomaticCheckAndAFailureKeepsItsTimeStamp) {
    store.setUpdateCheckFrequency(UpdateCheckFrequency::never);
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_TRUE(http->requests().empty());
    EXPECT_FALSE(store.lastAutomaticUpdateCheckAt());

    store.setUpdateCheckFrequency(UpdateCheckFrequency::daily);
    http->setServer([](const HttpRequest&) { return SimHttpClient::Reply::connectionRefused(); });
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_TRUE(alerts->shown.empty());
    EXPECT_EQ(store.lastAutomaticUpdateCheckAt(), clock.now());
    controller->checkForUpdatesAutomatically();
    run();
    EXPECT_EQ(http->requests().size(), 1u);
    controller->checkForUpdates();  // asked by the user: the failure is shown
    run();
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].message, "Could not check for updates");
    EXPECT_TRUE(alerts->shown[0].isProblem);
}

TEST_F(Startup, TheMenuListsRecentDictationsAndPastesTheFullText) {
    auto titles = [&] {
        std::vector<std::string> result;
        for (const auto& item : controller->menuNeedsUpdate()) result.push_back(item.isSeparator() ? "-" : item.title);
        return result;
    };
    EXPECT_EQ(titles(), (std::vector<std::string>{"Home", "Hide Bubble", "Check for Updates…", "-",
                                                  "No recent dictations", "-", "Help", "Send Feedback…", "-",
                                                  "Quit Tavlo"}));
    const std::string sixty(60, 'x');
    store.addRecent("one", "Editor");
    for (const auto* text : {"two", "three", "four"}) {
        clock.advance(1min);
        store.addRecent(text, "Editor");
    }
    clock.advance(1min);
    store.addRecent(sixty, "Editor");
    store.setBubbleVisible(false);
    auto items = controller->menuNeedsUpdate();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Home", "Show Bubble", "Check for Updates…", "-", "Recent",
                                                  std::string(54, 'x') + "...", "four", "three", "two", "-", "Help",
                                                  "Send Feedback…", "-", "Quit Tavlo"}));
    EXPECT_FALSE(items[4].enabled);
    EXPECT_EQ(items.back().keyEquivalent, "q");

    controller->menuWillOpen();
    EXPECT_TRUE(logged("menu open target=Text Editor snapshot=true frontmost=Text Editor"));
    controller->performMenuAction(items[5]);
    EXPECT_EQ(pasteboard->string(), sixty);
    controller->menuDidClose();

    controller->performMenuAction(items[1]);
    EXPECT_TRUE(store.bubbleVisible());
    EXPECT_TRUE(bubble->visible());
    controller->performMenuAction(items.back());
    EXPECT_EQ(desktop->terminateRequests, 1);
}

TEST_F(Startup, WhileListeningTheMenuOffersStopAndCancelFirst) {
    auto first = [&](std::size_t count) {
        std::vector<std::string> result;
        for (const auto& item : controller->menuNeedsUpdate()) {
            if (result.size() == count) break;
            result.push_back(item.isSeparator() ? "-" : item.title);
        }
        return result;
    };
    EXPECT_EQ(first(1), std::vector<std::string>{"Home"});

    startListening();
    const auto items = controller->menuNeedsUpdate();
    EXPECT_EQ(first(4), (std::vector<std::string>{"Stop and Paste", "Cancel Dictation", "-", "Home"}));
    controller->performMenuAction(items[0]);
    EXPECT_FALSE(controller->isListening());
    EXPECT_TRUE(controller->isProcessingDictation());
    // An item of a menu opened while listening, chosen after the dictation
    // stopped, does not cancel the text on its way.
    controller->performMenuAction(items[1]);
    EXPECT_TRUE(controller->isProcessingDictation());
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(first(1), std::vector<std::string>{"Home"});
}

TEST_F(Startup, CancelDictationInTheMenuEndsTheDictationWithoutText) {
    startListening();
    const auto items = controller->menuNeedsUpdate();
    ASSERT_EQ(items[1].title, "Cancel Dictation");
    controller->performMenuAction(items[1]);
    EXPECT_FALSE(controller->isListening());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].kind, Kind::cancelled);
}

TEST_F(Startup, TheVeryFirstStartWelcomesOnceWithTheKeyThatActsHere) {
    keys->functionKey = "Right Ctrl";
    store.setWelcomeShown(false);
    store.setSpeechModel(SpeechModel::localWhisper);
    controller->applicationDidFinishLaunching();
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].message, "Welcome to Tavlo");
    const std::string& text = alerts->shown[0].informativeText;
    EXPECT_TRUE(text.starts_with("Hold Right Ctrl to dictate; double-tap Right Ctrl for hands-free.\n")) << text;
    EXPECT_NE(text.find("where your cursor is"), std::string::npos) << text;
    EXPECT_NE(text.find("running tavlo again"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("Speech engine: local Whisper, ready.")) << text;
    // It never takes the keyboard from what the user is typing into.
    EXPECT_FALSE(alerts->shown[0].takesFocus);
    EXPECT_EQ(alerts->shown[0].buttons, (std::vector<std::string>{"Got it", "Open Home"}));
    EXPECT_TRUE(store.welcomeShown());
    // The tray and the bubble name the same key.
    EXPECT_EQ(statusItem->toolTip(), "Tavlo: Hold Right Ctrl to dictate; double-tap Right Ctrl for hands-free.");
    EXPECT_TRUE(bubble->toolTip().starts_with(statusItem->toolTip())) << bubble->toolTip();

    // Local Whisper not ready: what it lacks, when the engine can tell.
    for (const auto& [reason, ending] : std::vector<std::pair<std::string, std::string>>{
             {"German needs a multilingual Whisper model.",
              "Speech engine: local Whisper, not ready yet. German needs a multilingual Whisper model."},
             {"", "Speech engine: local Whisper, not ready yet: choose a model under Speech in Home."}}) {
        transcriber->localWhisperInstalled = false;
        transcriber->unavailableReason = reason;
        EXPECT_EQ(controller->speechEngineState(), ending);
    }
    transcriber->localWhisperInstalled = true;

    // A later start shows nothing.
    alerts->answer(0);
    controller->applicationDidFinishLaunching();
    EXPECT_EQ(alerts->shown.size(), 1u);

    // Other triggers are named by their keys.
    store.setHoldTrigger(TriggerShortcut::modifierOnly(CarbonModifier::control | CarbonModifier::option, "x"));
    store.setPressTrigger(TriggerShortcut::key(KeyShortcut::make(49, CarbonModifier::command, "x")));
    controller->reloadHotKeys();
    EXPECT_EQ(statusItem->toolTip(), "Tavlo: Hold Ctrl+Alt to dictate; press Super+Space to start and stop hands-free.");
}

// A notification server that takes (or refuses) every message.
struct RecordingNotifications : Notifications {
    explicit RecordingNotifications(bool works) : works(works) {}
    bool notify(const std::string& summary, const std::string&) override {
        if (works) summaries.push_back(summary);
        return works;
    }
    bool works;
    std::vector<std::string> summaries;
};

struct NoTrayCase {
    const char* name;
    bool hasTray;
    bool firstStart;
    bool notificationsWork;
    // What the user sees at the first launch: notifications and windows.
    std::vector<std::string> notified;
    std::vector<std::string> windows;
};

TEST(NoTrayNotice, SaysOnceWhereTheMenuIsWhenThePanelHasNoTray) {
    const std::string notice = "Tavlo has no tray icon on this desktop";
    const std::vector<NoTrayCase> cases = {
        {"a tray: nothing to say", true, false, true, {}, {}},
        {"no tray: a notification", false, false, true, {notice}, {}},
        {"no tray, no notification server: a window", false, false, false, {}, {notice}},
        {"no tray at the first start: the welcome says it", false, true, true, {}, {"Welcome to Tavlo"}},
        {"a tray at the first start: the usual welcome", true, true, true, {}, {"Welcome to Tavlo"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        auto notifications = std::make_shared<RecordingNotifications>(row.notificationsWork);
        DictationSession session(true, [&](AppDelegatePorts& ports) {
            ports.identity.hasTray = row.hasTray;
            ports.notifications = notifications;
        });
        session.store.setWelcomeShown(!row.firstStart);
        session.controller->applicationDidFinishLaunching();
        EXPECT_EQ(notifications->summaries, row.notified);
        std::vector<std::string> windows;
        for (const auto& alert : session.alerts->shown) {
            windows.push_back(alert.message);
            EXPECT_FALSE(alert.takesFocus) << alert.message;
        }
        EXPECT_EQ(windows, row.windows);
        if (row.firstStart) {
            const std::string& welcome = session.alerts->shown.at(0).informativeText;
            EXPECT_EQ(welcome.find("right-click the bubble") != std::string::npos, !row.hasTray) << welcome;
        } else if (!row.hasTray) {
            const std::string& body = row.notificationsWork ? std::string(noTrayNoticeBody)
                                                            : session.alerts->shown.at(0).informativeText;
            EXPECT_NE(body.find("Right-click the bubble"), std::string::npos) << body;
            EXPECT_NE(body.find("Quit"), std::string::npos) << body;
        }

        // Once: later launches say nothing more.
        for (std::size_t i = 0; i < session.alerts->shown.size(); ++i) session.alerts->answer(0);
        session.controller->applicationDidFinishLaunching();
        EXPECT_EQ(notifications->summaries, row.notified);
        EXPECT_EQ(session.alerts->shown.size(), row.windows.size());
    }
}

TEST_F(Startup, AnErrorStaysLongEnoughToReadWithItsMessageUnderThePointer) {
    keys->functionKey = "Right Ctrl";
    controller->reloadHotKeys();
    const std::string keysTip = bubble->toolTip();
    controller->presentError("The microphone was disconnected.");
    EXPECT_EQ(bubble->state(), B::error);
    EXPECT_EQ(bubble->toolTip(), "Tavlo: The microphone was disconnected.");
    EXPECT_EQ(statusItem->toolTip(), "Tavlo: The microphone was disconnected.");
    advance(3500ms);
    EXPECT_EQ(bubble->state(), B::error) << "still there after three and a half seconds";
    advance(600ms);
    EXPECT_EQ(bubble->state(), B::idle);
    // Back to naming the keys.
    EXPECT_EQ(bubble->toolTip(), keysTip);
    EXPECT_TRUE(statusItem->toolTip().starts_with("Tavlo: Hold Right Ctrl")) << statusItem->toolTip();
}

TEST_F(Startup, HelpAndFeedback) {
    keys->functionKey = "Right Ctrl";
    controller->menuHelp();
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].message, "Tavlo triggers");
    EXPECT_EQ(alerts->shown[0].informativeText,
              "Hold trigger (Right Ctrl): record while held, release to paste\nPress trigger (Double-tap Right Ctrl): "
              "press once to start, press again to stop\nEscape: cancel\nReturn: stop and paste");
    controller->menuSendFeedback();
    EXPECT_EQ(desktop->openedURLs, std::vector<std::string>{"mailto:feedback@tavlo.app?subject=Tavlo%20feedback"});
    EXPECT_EQ(alerts->shown.size(), 1u) << "a mail program took it: nothing more to say";

    // Without a mail program the address is shown, as a problem.
    desktop->opensURLs = false;
    controller->menuSendFeedback();
    ASSERT_EQ(alerts->shown.size(), 2u);
    EXPECT_EQ(alerts->shown[1].message, "No mail program opened");
    EXPECT_EQ(alerts->shown[1].informativeText, "Write to feedback@tavlo.app with your feedback.");
    EXPECT_TRUE(alerts->shown[1].isProblem);
}

struct SelfTestCase {
    const char* text;
    const char* quitAfter;
    bool runs;
    bool quits;
};

TEST_F(Startup, TheLaunchSelfTestPastesAndQuitsOnlyWhenAskedExactly) {
    const SelfTestCase cases[] = {
        {"hello there", "1", true, true},
        {"hello there", "true", true, false},
        {"hello there", nullptr, true, false},
        {"", "1", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + (c.quitAfter ? c.quitAfter : "unset"));
        DictationSession t;
        ::setenv("SORVEL_SELF_TEST_PASTE_TEXT", c.text, 1);
        if (c.quitAfter)
            ::setenv("SORVEL_SELF_TEST_QUIT_AFTER", c.quitAfter, 1);
        else
            ::unsetenv("SORVEL_SELF_TEST_QUIT_AFTER");
        t.controller->scheduleLaunchSelfTestIfRequested();
        t.advance(599ms);
        EXPECT_FALSE(t.pasteboard->string());
        t.advance(1ms);
        EXPECT_EQ(t.pasteboard->string().has_value(), c.runs);
        const bool requested = std::any_of(t.log.begin(), t.log.end(), [](const std::string& line) {
            return line.rfind("self-test requested", 0) == 0;
        });
        EXPECT_EQ(requested, c.runs);
        const bool started = std::any_of(t.log.begin(), t.log.end(), [](const std::string& line) {
            return line == "self-test start target=Text Editor snapshot=true frontmost=Text Editor";
        });
        EXPECT_EQ(started, c.runs);
        t.advance(1800ms);
        EXPECT_EQ(t.desktop->terminateRequests, c.quits ? 1 : 0);
    }
    ::unsetenv("SORVEL_SELF_TEST_PASTE_TEXT");
    ::unsetenv("SORVEL_SELF_TEST_QUIT_AFTER");
}

}  // namespace
}  // namespace tavlo::testing
