#pragma once
// The application controller: the single owner of "the current dictation".
// Every way of starting work (dictation triggers, the bubble, the tray menu,
// the hub's file transcription) goes through it, and the session flags below
// make sure only one piece of work runs at a time. It reaches the desktop only
// through ports: the bubble, the tray's status image, the clipboard and the
// user's files. All members run on the main thread; every delayed task and
// engine callback holds the controller weakly.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/core/DictationObserver.h"
#include "engine/FileTranscriptionResult.h"
#include "app/core/PasteOutcome.h"
#include "app/core/StatusMenu.h"
#include "app/core/TriggerRequest.h"
#include "engine/DictationEngine.h"
#include "hub/model/TriggerMechanism.h"
#include "base/BubbleState.h"
#include "indicator/model/BubbleViewDelegate.h"
#include "platform/Accessibility.h"
#include "platform/Alerts.h"
#include "platform/BubbleDisplay.h"
#include "platform/DeliveryLock.h"
#include "platform/DesktopServices.h"
#include "platform/FeedbackTones.h"
#include "platform/KeyEventPoster.h"
#include "platform/KeyEventSource.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "platform/Pasteboard.h"
#include "platform/RecordingHotKeys.h"
#include "platform/RunningApplication.h"
#include "platform/StatusItem.h"
#include "platform/UserFiles.h"
#include "platform/WallClock.h"
#include "platform/Workspace.h"
#include "settings/SettingsStore.h"
#include "updates/UpdateChecker.h"
#include "shortcuts/HotKeyManager.h"
#include "shortcuts/HotKeyManagerDelegate.h"

namespace tavlo {

struct AppDelegatePorts {
    // Outlives the controller.
    SettingsStore* store = nullptr;
    std::shared_ptr<DictationEngine> dictationEngine;
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<UserFiles> userFiles;
    // The diagnostics trail; never fails towards the caller.
    std::function<void(std::string_view message)> logDiagnostic;
    // The desktop. Each may be null for commands that run without one: there
    // is then no application to aim at, no focused field, no global keys and
    // no tones.
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<RecordingHotKeys> recordingHotKeys;
    std::shared_ptr<FeedbackTones> feedbackTones;
    // The global shortcuts and the desktop's key activity, for the triggers;
    // null where there is no desktop.
    std::shared_ptr<HotKeyManager> hotKeyManager;
    std::shared_ptr<KeyEventSource> keyEventSource;
    // Synthesised paste, copy and Return keystrokes; null where there is no
    // desktop (nothing is then typed into other applications).
    std::shared_ptr<KeyEventPoster> keyEventPoster;
    // Deliveries of separate processes take turns through it; null where
    // nothing else can deliver at the same time (tests with stand-ins).
    std::shared_ptr<DeliveryLock> deliveryLock;
    // The desktop program's surroundings: alerts, screens, links and quitting,
    // update checks with the wall clock they are timed by, and the home
    // window. Null for commands.
    std::shared_ptr<Alerts> alerts;
    std::shared_ptr<DesktopServices> desktop;
    std::shared_ptr<UpdateChecker> updateChecker;
    const WallClock* wallClock = nullptr;
    std::function<void()> openHub;
    // Messages that must not take the focus (null: none are shown).
    std::shared_ptr<Notifications> notifications;
    // How the program names itself in the launch line.
    struct Identity {
        std::string bundleIdentifier;
        std::string bundlePath;
        // Whether keystrokes may be synthesised, where no key event poster
        // is given; the poster's own answer wins.
        std::function<bool()> canPostEvents;
        // The desktop session ("x11", "wayland") and how triggers reach the
        // program and text reaches other applications, for the launch line;
        // empty where the program runs without a desktop.
        std::string session = {};
        std::string triggerMethods = {};
        std::string deliveryMethods = {};
        // No way to watch the triggers here: the user has to bind the
        // trigger commands in the desktop, and is told so at launch.
        bool triggersNeedBinding = false;
        // The panel shows the program's tray icon. Without one, the bubble's
        // right-click menu and the launcher's actions are the way in, and
        // the user is told so once.
        bool hasTray = true;
    } identity;
    // False for commands that run without a desktop: a finished dictation is
    // then only copied, as with auto-paste off, whatever the setting says.
    bool canDeliverIntoApplications = true;
    // Delivery was asked for explicitly (a command's option): the auto-paste
    // setting does not turn it off.
    bool alwaysAutoPaste = false;
};

class AppDelegate : public std::enable_shared_from_this<AppDelegate>,
                    public HotKeyManagerDelegate,
                    public BubbleViewDelegate {
public:
    using FileTranscriptionCompletion = std::function<void(const FileTranscriptionResult& result)>;

    static std::shared_ptr<AppDelegate> create(AppDelegatePorts ports);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The surfaces are created after the controller; until then state changes
    // only reach those that exist.
    void setBubbleWindow(std::shared_ptr<BubbleDisplay> bubble) { bubbleWindow = std::move(bubble); }
    void setStatusItem(std::shared_ptr<StatusItem> item) { statusItem = std::move(item); }

    // --- Session state shared by every concern ---------------------------
    // Ends the current session with the error indication and a log line.
    void presentError(const std::string& message);
    // The error indication and its log line alone, for a problem noticed
    // after the session has ended (a text delivered despite it).
    void showErrorState(const std::string& message);
    // Every change of the dictation state shown to the user goes through here.
    void setBubbleState(BubbleState state);
    // Shows success, and idle again a moment later.
    void showSuccessTick();
    // The engine's live text; its progress messages are not dictated text.
    void updatePartialTranscript(const std::string& text);

    // The state last shown; the delayed returns to idle check it, so they work
    // the same whether or not a bubble window exists.
    BubbleState bubbleState() const { return bubbleState_; }
    bool isListening() const { return isListening_; }
    bool isProcessingDictation() const { return isProcessingDictation_; }
    bool hasCompletedCurrentDictation() const { return hasCompletedCurrentDictation_; }
    const std::string& targetAppName() const { return targetAppName_; }
    const std::string& currentPartialTranscript() const { return currentPartialTranscript_; }

    // --- Dictation ---------------------------------------------------------
    // The bubble, the toggle shortcut and the mouse trigger: stop while
    // listening, start when idle, otherwise nothing.
    void toggleDictation();
    void startDictation();
    void stopDictation();
    void cancelDictation();
    // The engine's one outcome of the current session.
    void completeDictation(const DictationResult& result);
    // Completes the session with the partial text if the engine's final
    // result does not come soon after stop.
    void installDictationCompletionWatchdog();
    // Who hears about the current dictation's progress and end (commands).
    void setDictationObserver(DictationObserver observer) { observer_ = std::move(observer); }

    // --- Start-up and the tray menu -----------------------------------------
    // Computes, keeps and returns the bubble's place before its window is made.
    Rect placeBubble();
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void requestAccessibilityPromptIfNeeded();
    // Tells the user, without taking the focus, which commands to bind where
    // the program cannot watch the triggers itself.
    void presentTriggerBindingNotice();
    // On the very first start only: which key to hold, where the text goes,
    // how to reach Home and the speech engine's state.
    void presentWelcomeIfFirstStart();
    void presentNoTrayNoticeOnce();
    // One line on the speech engine chosen and whether it can work now.
    std::string speechEngineState() const;
    // The tray's and the bubble's tooltip: the trigger keys as they act here.
    void updateTriggerToolTips();
    void prepareLocalWhisperIfNeeded();
    void setBubbleVisible(bool visible);
    // The bubble: a click toggles the dictation, a drag moves it for good.
    void bubbleDidRequestToggle() override { toggleDictation(); }
    void bubbleDidMove(const Rect& frame) override;
    void checkForUpdates();
    void checkForUpdatesAutomatically();
    // `takesFocus` false: shown without taking the keyboard (nobody asked).
    void presentUpdateResult(const AppUpdateResult& result, bool takesFocus = true);
    // An automatic check's news: a notification (or a window that leaves
    // the focus alone), held back while a dictation runs.
    void announceUpdateQuietly(const AppUpdateResult& result);
    void scheduleLaunchSelfTestIfRequested();
    void runLaunchSelfTestPaste(const std::string& text, bool shouldQuitAfter);
    void menuWillOpen();
    // The items to show; the view calls it each time the menu opens.
    std::vector<StatusMenuItem> menuNeedsUpdate();
    void menuDidClose();
    void performMenuAction(const StatusMenuItem& item);
    void menuOpenHub();
    void menuPasteRecent(const std::string& text);
    void menuHelp();
    void menuSendFeedback();

    // --- Triggers ------------------------------------------------------------
    // Starts following the desktop's keys (once, at launch).
    void installTriggerMonitors();
    void handleTriggerKeyEvent(std::uint32_t keyCode, std::uint32_t modifiers, bool isDown);
    // The modifiers the hold trigger holds while it is down.
    std::uint32_t holdTriggerModifiers() const;
    void handleFunctionFlagChange(bool isDown);
    void handleModifierOnlyTriggerChange(std::uint32_t modifiers);
    // While the hub records a new shortcut, no trigger or global shortcut acts.
    void setShortcutCaptureActive(bool active);
    bool isShortcutCaptureActive() const { return isShortcutCaptureActive_; }
    void reloadHotKeys();
    std::string shortcutStatusText() const;
    // How the triggers reach the program on this desktop, for Home.
    TriggerMechanism triggerMechanism() const;
    // The desktop's global shortcuts (Wayland): the keys it bound, after
    // binding and whenever the user changes them in the desktop; or why they
    // are not in use.
    void desktopShortcutsBound(std::vector<TriggerBinding> bound);
    void desktopShortcutsFailed(const std::string& problem);
    // The key that serves as the function key on this desktop, for the texts
    // that tell the user what to hold.
    std::string functionKeyName() const;

    // Global shortcuts.
    void hotKeyManagerDidPressToggle() override;
    void hotKeyManagerDidPressMouseTrigger() override;
    void hotKeyManagerDidPressRepolish(TransformStyle style) override;
    void hotKeyManagerDidPressEscape() override;
    void hotKeyManagerDidPressReturn() override;

    // A request of `tavlo trigger ...` (a key bound in the compositor): acts
    // as the hold trigger's press or release, the press trigger, Escape
    // while listening, or a rewrite shortcut. Ignored, like every trigger,
    // while the hub records a shortcut.
    void performTriggerAction(TriggerAction action);

    // Rewrites the selected text of the focused application in a style.
    void repolishSelection(TransformStyle style);

    // The hold trigger went down or up (whatever its kind).
    void handleHoldTriggerChange(bool isDown);
    // Stops the dictation after `delay` unless the trigger is down again.
    void scheduleFunctionReleaseStop(MainQueue::Duration delay);

    // --- Targets -----------------------------------------------------------
    // The application a dictation is for, chosen when it starts; may be absent.
    std::optional<RunningApplication> preferredDictationTarget(const std::optional<FocusedTextSnapshot>& snapshot) const;
    // Any application except this program.
    bool isExternalApplication(const RunningApplication& app) const;
    // The workspace's activation observer.
    void activeApplicationChanged(const RunningApplication& app);
    // Remembers the front application now and follows activations from here on.
    void followActiveApplications();
    // The focused text field, if it has a text value that can be read.
    std::optional<FocusedTextSnapshot> focusedTextSnapshot() const;
    const std::optional<RunningApplication>& lastExternalApplication() const { return lastExternalApplication_; }
    bool hasTargetTextSnapshot() const { return targetTextSnapshot.has_value(); }

    // --- Output delivery ---------------------------------------------------
    // Puts a finished text into the target application (the text always stays
    // on the clipboard).
    // `completion`, when given, hears the outcome (commands report it).
    using PasteCompletion = std::function<void(PasteOutcome outcome)>;
    void pasteOrCopy(const std::string& text, bool shouldPressEnter, std::optional<FocusedTextSnapshot> preferredSnapshot,
                     PasteCompletion completion = {});
    // Brings `target` to the front, checking up to `attempts` more times.
    void activateTarget(const RunningApplication& target, int attempts, std::function<void()> completion);
    // Keystroke, check and fallback, once the target is (or should be) in
    // front; `clipboardChange` is the clipboard's change count right after
    // the text was put on it.
    void deliverPaste(const std::string& text, const RunningApplication& target,
                      std::optional<FocusedTextSnapshot> preferredSnapshot, std::int64_t clipboardChange,
                      PasteCompletion completion);
    void applyPasteOutcomeState(PasteOutcome outcome);
    std::optional<std::string> focusedTextValue(const AccessibilityElement& element) const;
    std::optional<TextRange> selectedTextRange(const AccessibilityElement& element) const;
    // Writes the text over the field's selection (or at its end) and moves the
    // caret after it; whether the field took it.
    bool insertText(const std::string& text, const FocusedTextSnapshot& snapshot);
    // The hub's copy and paste buttons.
    void copyTextFromHub(const std::string& text);
    void pasteTextFromHub(const std::string& text);

    // --- File transcription ------------------------------------------------
    // Checks, transcribes, cleans up, copies, records and saves the text
    // beside the source; `completion` receives the outcome once.
    void transcribeFile(const std::filesystem::path& url, FileTranscriptionCompletion completion);
    bool canStartFileTranscription(const FileTranscriptionCompletion& completion);
    void startFileTranscription(const std::filesystem::path& url, FileTranscriptionCompletion completion);
    void completeFileTranscription(const std::filesystem::path& sourceURL,
                                   const FileTranscriptionCompletion& completion, const DictationResult& result);
    // "<name>-transcript.txt" beside the source, else in the documents folder
    // (or the temporary folder). Throws PlatformError.
    std::filesystem::path saveTranscript(const std::string& text, const std::filesystem::path& sourceURL);

private:
    explicit AppDelegate(AppDelegatePorts ports);

    void logDiagnostic(std::string_view message) const;
    bool canPostEvents() const;

    // Dictation steps (AppDelegateDictation.cpp).
    void handleDictationPermission(std::uint64_t session, const std::optional<DictationEngineError>& denial);
    void installEngineCallbacks(std::uint64_t session);
    // The microphone went away while listening: the dictation stops with
    // what was heard, and its end says what happened.
    void handleInputLost();
    // A failed Whisper or cloud transcription leaves only the on-device
    // preview; it goes to the history, marked, for the user to paste or not.
    void keepPreviewInHistory(const std::string& preview);
    DictationStartOptions currentStartOptions() const;
    void notifyDictationEnded(DictationEnd end);
    bool autoPasteApplies() const;
    // Releases what belongs to the input side of a session: the recording
    // keys and the trigger flags.
    void endSessionInput();
    // Clears every flag and piece of state of the current session (its
    // input side included), whatever way it ended.
    void endCurrentSession();
    void cancelDictationCompletionWatchdog();

    // Delivery steps (AppDelegateDelivery.cpp).
    // Waits (up to `waitsLeft` more times) for another process's delivery
    // to end, then delivers.
    void pasteOrCopyInTurn(const std::string& text, bool shouldPressEnter,
                           std::optional<FocusedTextSnapshot> preferredSnapshot, PasteCompletion completion,
                           int waitsLeft);
    void deliverWithTurn(const std::string& text, bool shouldPressEnter,
                         std::optional<FocusedTextSnapshot> preferredSnapshot, PasteCompletion completion);
    // Whether the clipboard still holds `text` put there at `clipboardChange`.
    bool clipboardStillHolds(const std::string& text, std::int64_t clipboardChange) const;
    void checkActivation(const RunningApplication& target, int remaining, std::function<void()> completion);
    void finishPaste(PasteOutcome outcome, const std::string& name, const RunningApplication& target,
                     bool shouldPressEnter, const PasteCompletion& completion);
    void verifyPaste(const std::string& text, const RunningApplication& target,
                     const std::optional<FocusedTextSnapshot>& snapshot, bool trusted, bool canPost,
                     bool shortcutSent, bool clipboardHeldText, const PasteCompletion& completion);
    void pressReturnIfTargetInFront(const RunningApplication& target);
    // The space between dictations pasted one after the other into the same
    // field (AppDelegateSpacing.cpp): the text to paste, with a space in
    // front when the caret sits right after the previous dictation.
    std::string separatedFromPreviousDictation(const std::string& text,
                                               const std::optional<FocusedTextSnapshot>& snapshot) const;
    void rememberDeliveredDictation(const std::string& text, bool endedLine, PasteOutcome outcome);
    void noteKeyForDictationSpacing(std::uint32_t keyCode, bool isDown);
    // Repolish steps (AppDelegateRepolish.cpp).
    struct RepolishRequest {
        TransformStyle style;
        std::optional<RunningApplication> frontmost;
        std::optional<std::string> previousClipboard;
        std::int64_t changeCount = 0;
    };
    void repolishCopiedSelection(const RepolishRequest& request);
    void replaceSelection(const std::string& text, const std::optional<RunningApplication>& target);

    // Ports.
    SettingsStore& store;
    std::shared_ptr<DictationEngine> dictationEngine;
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<UserFiles> userFiles;
    std::function<void(std::string_view)> log;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<RecordingHotKeys> hotKeys;
    std::shared_ptr<FeedbackTones> feedbackTones;
    std::shared_ptr<HotKeyManager> hotKeyManager;
    std::shared_ptr<KeyEventSource> keyEventSource;
    std::shared_ptr<KeyEventPoster> keyEventPoster;
    std::shared_ptr<DeliveryLock> deliveryLock;
    // Deliveries of this process under way; the turn is given back when the
    // last one ends.
    int deliveriesUnderway_ = 0;
    std::shared_ptr<Alerts> alerts;
    std::shared_ptr<DesktopServices> desktop;
    std::shared_ptr<UpdateChecker> updateChecker;
    const WallClock* wallClock;
    std::function<void()> openHub;
    std::shared_ptr<Notifications> notifications;
    AppDelegatePorts::Identity identity;
    const bool canDeliverIntoApplications;
    const bool alwaysAutoPaste;
    std::shared_ptr<BubbleDisplay> bubbleWindow;
    std::shared_ptr<StatusItem> statusItem;
    DictationObserver observer_;

    BubbleState bubbleState_ = BubbleState::idle;
    // The hold trigger is down (its key, or `tavlo trigger start` without a
    // stop yet): listening then lasts only while it is held.
    bool holdTriggerHeld_ = false;

    // The current session.
    bool isListening_ = false;
    bool isProcessingDictation_ = false;
    bool hasCompletedCurrentDictation_ = false;
    std::optional<RunningApplication> targetApplication;
    std::string targetAppName_ = "Active App";
    std::optional<FocusedTextSnapshot> targetTextSnapshot;
    // Identifies the dictation that is preparing, listening or finishing (0
    // when none is): permission answers and engine callbacks of an earlier
    // one, which may still be queued, are recognised and ignored.
    std::uint64_t activeDictationSession = 0;
    std::uint64_t lastDictationSession = 0;
    std::optional<RunningApplication> lastExternalApplication_;
    std::string currentPartialTranscript_;
    // The microphone of the current session went away while it listened.
    bool inputLost_ = false;
    std::shared_ptr<WorkItem> dictationCompletionWatchdog;
    std::shared_ptr<WorkItem> successResetWorkItem;

    // The last dictation pasted into an application, and where.
    struct DeliveredDictation {
        int processIdentifier = 0;
        std::string text;
        MainQueue::TimePoint time;
        bool caretMayHaveMoved = false;
    };
    std::optional<DeliveredDictation> lastDeliveredDictation_;
    bool keyMonitorRunning_ = false;

    // Trigger flags; every end of a session clears them.
    bool functionKeyLatched = false;
    bool ignoreNextFunctionRelease = false;
    bool pendingFunctionReleaseStop = false;
    // Hold-trigger state.
    bool functionKeyIsDown = false;
    bool holdTriggerKeyIsDown = false;
    bool modifierOnlyHoldTriggerIsDown = false;
    bool modifierOnlyPressTriggerIsDown = false;
    bool isShortcutCaptureActive_ = false;
    std::vector<TriggerBinding> desktopShortcuts_;
    std::string desktopShortcutsProblem_;

    // Start-up and the tray menu.
    void captureMenuTarget();
    bool hasRequestedAccessibilityThisSession = false;
    bool hasRequestedPostEventThisSession = false;
    std::optional<FocusedTextSnapshot> menuOpenTextSnapshot;
    std::optional<RunningApplication> menuOpenTargetApplication;
    std::optional<MainQueue::TimePoint> lastFunctionReleaseDate;  // absent: never released
    std::shared_ptr<WorkItem> functionReleaseStopWorkItem;
};

}  // namespace tavlo
