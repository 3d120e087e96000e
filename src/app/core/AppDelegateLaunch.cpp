// Start-up and shut-down of the desktop program, the update checks it makes
// on its own or when asked, and the launch self-test that pastes a given
// text into the focused application.
#include <chrono>
#include <cstdlib>

#include "app/core/AppDelegate.h"
#include "app/core/CharacterCount.h"
#include "app/core/TriggerGuide.h"
#include "indicator/model/BubbleGeometry.h"
#include "updates/UpdateAlert.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

constexpr MainQueue::Duration accessibilityPromptDelay = 1200ms;
constexpr MainQueue::Duration automaticUpdateCheckDelay = 3500ms;
// How long an update announcement waits while a dictation runs before it looks again.
constexpr MainQueue::Duration updateAnnouncementRetryDelay = 5s;
constexpr MainQueue::Duration whisperPreparationDelay = 4000ms;
constexpr MainQueue::Duration selfTestDelay = 600ms;
constexpr MainQueue::Duration selfTestQuitDelay = 1800ms;

const char* flag(bool value) { return value ? "true" : "false"; }

std::string applicationName(const std::optional<RunningApplication>& app) {
    return app && app->localizedName ? *app->localizedName : "none";
}

}  // namespace

Rect AppDelegate::placeBubble() {
    ScreenLayout screens;
    if (desktop) screens.visibleFrames = desktop->screenVisibleFrames();
    if (!screens.visibleFrames.empty()) screens.primary = 0;
    const Rect frame = initialBubbleFrame(store.bubbleFrame(), screens);
    store.setBubbleFrame(frame);
    return frame;
}

void AppDelegate::applicationDidFinishLaunching() {
    if (statusItem) statusItem->showStatusImage(BubbleState::idle);
    if (bubbleWindow && store.bubbleVisible()) bubbleWindow->setBubbleShown(true);

    if (hotKeyManager) hotKeyManager->delegate = weak_from_this();
    reloadHotKeys();
    installTriggerMonitors();
    followActiveApplications();

    const auto frontmost = workspace ? workspace->frontmostApplication() : std::nullopt;
    logDiagnostic("launch bundle=" + (identity.bundleIdentifier.empty() ? "unknown" : identity.bundleIdentifier) +
                  " path=" + identity.bundlePath + " axTrusted=" +
                  flag(accessibility && accessibility->isProcessTrusted()) +
                  " postEvent=" + flag(canPostEvents()) +
                  " frontmost=" + applicationName(frontmost) +
                  (identity.session.empty() ? std::string()
                                            : " session=" + identity.session + " triggers=" + identity.triggerMethods +
                                                  " delivery=" + identity.deliveryMethods));
    if (identity.triggersNeedBinding) presentTriggerBindingNotice();
    presentWelcomeIfFirstStart();
    if (!identity.hasTray) presentNoTrayNoticeOnce();

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    mainQueue->postAfter(accessibilityPromptDelay, [weak] {
        if (auto self = weak.lock()) self->requestAccessibilityPromptIfNeeded();
    });
    mainQueue->postAfter(automaticUpdateCheckDelay, [weak] {
        if (auto self = weak.lock()) self->checkForUpdatesAutomatically();
    });
    mainQueue->postAfter(whisperPreparationDelay, [weak] {
        if (auto self = weak.lock()) self->prepareLocalWhisperIfNeeded();
    });
    scheduleLaunchSelfTestIfRequested();
}

void AppDelegate::applicationWillTerminate() {
    dictationEngine->shutdown();
    if (hotKeys) hotKeys->uninstallRecordingHotKeys();
    if (hotKeyManager) hotKeyManager->uninstallHotKeys();
    if (keyEventSource) keyEventSource->stop();
}

bool AppDelegate::canPostEvents() const {
    if (keyEventPoster) return keyEventPoster->isPostingPermitted();
    return identity.canPostEvents && identity.canPostEvents();
}

void AppDelegate::requestAccessibilityPromptIfNeeded() {
    if (hasRequestedAccessibilityThisSession || !accessibility || accessibility->isProcessTrusted()) return;
    hasRequestedAccessibilityThisSession = true;
    // Linux has no permission dialog for this: the desktop's accessibility
    // support is either on or off. Say once how to turn it on.
    if (!accessibility->requestTrustWithPrompt())
        logDiagnostic("accessibility unavailable: turn on the desktop's accessibility support (assistive "
                      "technologies) so that pasted text can be checked");
}

void AppDelegate::presentTriggerBindingNotice() {
    const std::string summary = "Bind Tavlo's trigger to a key";
    const std::string body =
        "This desktop does not let Tavlo watch the keyboard. In your desktop's keyboard settings, bind a key to "
        "\"tavlo trigger start\" when pressed and \"tavlo trigger stop\" when released (or one key to "
        "\"tavlo trigger toggle\"). The README shows the lines for sway, Hyprland and GNOME.";
    const bool shown = notifications && notifications->notify(summary, body);
    logDiagnostic(std::string("trigger notice shown=") + flag(shown) +
                  ": no key watching here; bind tavlo trigger start/stop (or toggle) in the desktop");
}

void AppDelegate::presentWelcomeIfFirstStart() {
    if (store.welcomeShown() || !alerts) return;
    // Marked before it shows, so a crash while it is open does not bring it back
    // at every start.
    store.setWelcomeShown(true);
    const std::string keys = triggerSummary(store.holdTrigger(), store.pressTrigger(), functionKeyName());
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    // The welcome says where the menu is when there is no tray: no second
    // message about it.
    if (!identity.hasTray) store.setNoTrayNoticeShown(true);
    alerts->present(welcomeAlert(keys, speechEngineState(), identity.hasTray), [weak](int chosen) {
        if (chosen != welcomeOpenHome) return;
        if (auto self = weak.lock()) self->menuOpenHub();
    });
    logDiagnostic("welcome shown (first start)");
}

void AppDelegate::presentNoTrayNoticeOnce() {
    if (store.noTrayNoticeShown()) return;
    store.setNoTrayNoticeShown(true);
    // A notification where the desktop shows them; else a window that
    // leaves the keyboard focus where it is.
    bool shown = notifications && notifications->notify(noTrayNoticeSummary, noTrayNoticeBody);
    if (!shown && alerts) {
        alerts->present({noTrayNoticeSummary, noTrayNoticeBody, {"OK"}, false}, nullptr);
        shown = true;
    }
    logDiagnostic(std::string("tray notice shown=") + flag(shown) +
                  ": no tray on this desktop; the bubble's right-click menu and the launcher's actions are the way in");
}

std::string AppDelegate::speechEngineState() const {
    switch (store.speechModel()) {
    case SpeechModel::appleOnDevice: return "Speech engine: on-device recognition.";
    case SpeechModel::localWhisper: {
        if (!dictationEngine) return "Speech engine: local Whisper, not ready yet: choose a model under Speech in Home.";
        const auto unavailable = dictationEngine->localWhisperUnavailability(store.speechLanguageIdentifier());
        if (!unavailable) return "Speech engine: local Whisper, ready.";
        // What is missing, in the words dictation would use.
        if (!unavailable->payload().empty())
            return "Speech engine: local Whisper, not ready yet. " + unavailable->errorDescription();
        return "Speech engine: local Whisper, not ready yet: choose a model under Speech in Home.";
    }
    case SpeechModel::openAICloud:
        if (store.openAICloudMode() == OpenAICloudMode::service)
            return "Speech engine: OpenAI cloud, through the Tavlo service.";
        if (store.hasOpenAIAPIKey()) return "Speech engine: OpenAI cloud, with your API key.";
        return "Speech engine: OpenAI cloud, which needs your API key: add it under Speech in Home.";
    }
    return {};
}

void AppDelegate::updateTriggerToolTips() {
    const std::string keys = triggerSummary(store.holdTrigger(), store.pressTrigger(), functionKeyName());
    if (statusItem) statusItem->showToolTip("Tavlo: " + keys);
    if (bubbleWindow) bubbleWindow->setToolTip("Tavlo: " + keys + " Click to start or stop.");
}

void AppDelegate::prepareLocalWhisperIfNeeded() {
    if (store.speechModel() == SpeechModel::localWhisper)
        dictationEngine->prepareLocalWhisper(store.speechLanguageIdentifier());
}

void AppDelegate::setBubbleVisible(bool visible) {
    store.setBubbleVisible(visible);
    if (bubbleWindow) bubbleWindow->setBubbleShown(visible);
}

void AppDelegate::bubbleDidMove(const Rect& frame) { store.setBubbleFrame(frame); }

// --- Updates -----------------------------------------------------------------

void AppDelegate::checkForUpdates() {
    if (!updateChecker) return;
    updateChecker->check([weak = weak_from_this()](AppUpdateResult result) {
        if (auto self = weak.lock()) self->presentUpdateResult(result);
    });
}

void AppDelegate::checkForUpdatesAutomatically() {
    if (!updateChecker || !wallClock) return;
    const auto seconds = interval(store.updateCheckFrequency());
    if (!seconds) return;
    const Date now = wallClock->now();
    if (const auto last = store.lastAutomaticUpdateCheckAt(); last && now - *last < std::chrono::seconds(*seconds))
        return;
    store.setLastAutomaticUpdateCheckAt(now);
    updateChecker->check([weak = weak_from_this()](AppUpdateResult result) {
        auto self = weak.lock();
        if (!self || result.kind() != AppUpdateResult::Kind::available) return;
        const std::string identifier = result.manifest().version + "-" + result.manifest().build;
        if (self->store.lastPromptedUpdateIdentifier() == identifier) return;
        self->store.setLastPromptedUpdateIdentifier(identifier);
        self->announceUpdateQuietly(result);
    });
}

void AppDelegate::announceUpdateQuietly(const AppUpdateResult& result) {
    // Never in the middle of a dictation: the user is speaking or waiting for
    // the text. Asked again a little later.
    const bool dictating = isListening_ || (bubbleWindow && bubbleWindow->state() != BubbleState::idle);
    if (dictating) {
        mainQueue->postAfter(updateAnnouncementRetryDelay, [weak = weak_from_this(), result] {
            if (auto self = weak.lock()) self->announceUpdateQuietly(result);
        });
        return;
    }
    // Nobody asked for this check: a notification, which takes no keyboard
    // focus from what the user is typing. Without a notification server, a
    // window that also leaves the focus where it is.
    const UpdateAlert alert = updateAlert(result);
    if (notifications &&
        notifications->notify(alert.message, alert.informativeText +
                                                 "\nChoose Check for Updates\u2026 in Tavlo's menu to download it."))
        return;
    presentUpdateResult(result, false);
}

void AppDelegate::presentUpdateResult(const AppUpdateResult& result, bool takesFocus) {
    if (!alerts) return;
    const UpdateAlert alert = updateAlert(result);
    std::string downloadURL;
    if (result.kind() == AppUpdateResult::Kind::available) downloadURL = result.manifest().downloadURL;
    alerts->present({alert.message, alert.informativeText, alert.buttons, takesFocus,
                     result.kind() == AppUpdateResult::Kind::failed},
                    [weak = weak_from_this(), downloadURL](int chosen) {
                        auto self = weak.lock();
                        if (self && chosen == 0 && !downloadURL.empty() && self->desktop)
                            self->desktop->openURL(downloadURL);
                    });
}

// --- Launch self-test ----------------------------------------------------------

void AppDelegate::scheduleLaunchSelfTestIfRequested() {
    const char* text = std::getenv("SORVEL_SELF_TEST_PASTE_TEXT");
    if (!text || !*text) return;
    const char* quit = std::getenv("SORVEL_SELF_TEST_QUIT_AFTER");
    const bool quitAfter = quit && std::string_view(quit) == "1";
    const auto frontmost = workspace ? workspace->frontmostApplication() : std::nullopt;
    logDiagnostic("self-test requested chars=" + std::to_string(characterCount(text)) + " quitAfter=" +
                  flag(quitAfter) + " frontmost=" + applicationName(frontmost));
    mainQueue->postAfter(selfTestDelay, [weak = weak_from_this(), paste = std::string(text), quitAfter] {
        if (auto self = weak.lock()) self->runLaunchSelfTestPaste(paste, quitAfter);
    });
}

void AppDelegate::runLaunchSelfTestPaste(const std::string& text, bool shouldQuitAfter) {
    auto snapshot = focusedTextSnapshot();
    targetApplication = preferredDictationTarget(snapshot);
    const auto frontmost = workspace ? workspace->frontmostApplication() : std::nullopt;
    logDiagnostic("self-test start target=" + applicationName(targetApplication) + " snapshot=" +
                  flag(snapshot.has_value()) + " frontmost=" + applicationName(frontmost));
    pasteOrCopy(text, false, snapshot);
    if (!shouldQuitAfter) return;
    mainQueue->postAfter(selfTestQuitDelay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->desktop) self->desktop->terminate();
    });
}

}  // namespace tavlo
