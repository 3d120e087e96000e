#pragma once
// The controller with a dictation engine on the simulated platform: a desktop
// with three applications, a focused text field, recording keys, tones and a
// virtual clock. Members are public so that table rows can arrange them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AppDelegate.h"
#include "engine/EngineTestSupport.h"
#include "platform/sim/InMemoryPasteboard.h"
#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimAlerts.h"
#include "platform/sim/SimDesktopServices.h"
#include "platform/sim/SimHttpClient.h"
#include "platform/sim/SimBubbleDisplay.h"
#include "platform/sim/SimFeedbackTones.h"
#include "platform/sim/SimHotKeyService.h"
#include "platform/sim/SimKeyEventPoster.h"
#include "platform/sim/SimKeyEventSource.h"
#include "platform/sim/SimRecordingHotKeys.h"
#include "platform/sim/SimUserFiles.h"
#include "platform/sim/SimWorkspace.h"
#include "platform/sim/SimulatedHostEnvironment.h"

namespace tavlo::testing {

using B = BubbleState;
using Kind = DictationEnd::Kind;

inline const RunningApplication editor{100, "org.gnome.TextEditor", "Text Editor"};
inline const RunningApplication mail{200, "org.mozilla.Thunderbird", "Thunderbird Mail"};
inline const RunningApplication terminal{300, "org.gnome.Terminal", "Terminal"};

class DictationSession : public EngineTest {
public:
    // `adjust` changes the ports before the controller is made (a desktop
    // without a tray, say).
    explicit DictationSession(bool canDeliver = true, const std::function<void(AppDelegatePorts&)>& adjust = {}) {
        host.variables["LANG"] = "en_US.UTF-8";
        store.setSpeechModel(SpeechModel::appleOnDevice);
        store.setAutoPaste(false);
        // A user who has started the program before: no welcome.
        store.setWelcomeShown(true);
        workspace->launch(editor);
        workspace->launch(mail);
        workspace->launch(terminal);
        workspace->setFrontmost(editor);
        accessibility->focused = editorField;

        AppDelegatePorts ports;
        ports.store = &store;
        ports.dictationEngine = engine;
        ports.mainQueue = queue;
        ports.pasteboard = pasteboard;
        ports.userFiles = std::make_shared<SimUserFiles>();
        ports.logDiagnostic = [this](std::string_view line) { log.emplace_back(line); };
        ports.workspace = workspace;
        ports.accessibility = accessibility;
        ports.recordingHotKeys = hotKeys;
        ports.feedbackTones = tones;
        ports.hotKeyManager = hotKeyManager;
        ports.alerts = alerts;
        ports.desktop = desktop;
        ports.updateChecker = updateChecker;
        ports.wallClock = &clock;
        ports.identity = {"app.tavlo.Tavlo", "/usr/bin/tavlo", [] { return true; }};
        ports.keyEventSource = keys;
        ports.keyEventPoster = keyPoster;
        ports.canDeliverIntoApplications = canDeliver;
        if (adjust) adjust(ports);
        controller = AppDelegate::create(std::move(ports));
        controller->setBubbleWindow(bubble);
        controller->setStatusItem(statusItem);
        controller->followActiveApplications();
        controller->setDictationObserver({[this] { ++listeningStarts; },
                                          [this](const std::string& text) { observedPartials.push_back(text); },
                                          [this](const DictationEnd& end) { ends.push_back(end); },
                                          {}});
        hotKeys->onEscape = [this] { controller->hotKeyManagerDidPressEscape(); };
        hotKeys->onReturn = [this] { controller->hotKeyManagerDidPressReturn(); };
    }

    // Table rows build a fresh fixture each.
    void TestBody() override {}

    // Answers every waiting permission request with `granted`.
    void answerPermissions(bool granted = true) {
        run();
        if (speech->pendingAuthorizationCount() > 0)
            speech->answerAuthorization(granted ? SpeechAuthorizationStatus::authorized
                                                : SpeechAuthorizationStatus::denied);
        run();
        if (audio->pendingMicrophoneRequestCount() > 0) audio->answerMicrophoneAccess(granted);
        run();
    }
    void startListening() {
        controller->startDictation();
        answerPermissions();
        ASSERT_TRUE(controller->isListening());
    }
    void hear(const std::string& text) {
        recognition()->sendResult(text);
        run();
    }
    // The delayed back end's latest job ends with `result`.
    void transcriptionEnds(DictationResult result) {
        ASSERT_FALSE(transcriber->calls.empty());
        transcriber->calls.back().completion.finish(std::move(result));
        run();
    }
    bool isIdle() const {
        return !controller->isListening() && !controller->isProcessingDictation() && !hotKeys->installed();
    }
    std::string lastLog() const { return log.empty() ? "<none>" : log.back(); }

    InMemoryPreferenceStore preferences;
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    SettingsStore store{preferences, secrets, host, clock};
    std::shared_ptr<InMemoryPasteboard> pasteboard = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<SimWorkspace> workspace = std::make_shared<SimWorkspace>();
    std::shared_ptr<SimAccessibility> accessibility = std::make_shared<SimAccessibility>();
    std::shared_ptr<SimTextField> editorField = std::make_shared<SimTextField>(100, "Dear Ann, ", TextRange{10, 0});
    std::shared_ptr<SimRecordingHotKeys> hotKeys = std::make_shared<SimRecordingHotKeys>(queue);
    std::shared_ptr<SimFeedbackTones> tones = std::make_shared<SimFeedbackTones>();
    std::shared_ptr<SimHotKeyService> hotKeyService = std::make_shared<SimHotKeyService>();
    std::shared_ptr<HotKeyManager> hotKeyManager = HotKeyManager::create(hotKeyService, queue);
    std::shared_ptr<SimKeyEventSource> keys = std::make_shared<SimKeyEventSource>();
    std::shared_ptr<SimKeyEventPoster> keyPoster = std::make_shared<SimKeyEventPoster>();
    std::shared_ptr<SimAlerts> alerts = std::make_shared<SimAlerts>();
    std::shared_ptr<SimDesktopServices> desktop = std::make_shared<SimDesktopServices>();
    std::shared_ptr<SimHttpClient> http = std::make_shared<SimHttpClient>(
        [q = queue](SimHttpClient::Duration delay, std::function<void()> task) { q->postAfter(delay, std::move(task)); });
    std::shared_ptr<UpdateChecker> updateChecker = std::make_shared<UpdateChecker>(
        UpdateCheckerSettings{http, queue, {"https://updates.example/updates.json"}, {"1.0.0", "1"}});
    std::shared_ptr<SimBubbleDisplay> bubble = std::make_shared<SimBubbleDisplay>();
    std::shared_ptr<SimStatusItem> statusItem = std::make_shared<SimStatusItem>();
    std::shared_ptr<AppDelegate> controller;
    std::vector<std::string> log;
    int listeningStarts = 0;
    std::vector<std::string> observedPartials;
    std::vector<DictationEnd> ends;
};

}  // namespace tavlo::testing
