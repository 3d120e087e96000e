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

#include "app/core/FileTranscription.h"
#include "engine/DictationEngine.h"
#include "indicator/model/BubbleState.h"
#include "platform/BubbleDisplay.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"
#include "platform/RunningApplication.h"
#include "platform/StatusItem.h"
#include "platform/UserFiles.h"
#include "settings/SettingsStore.h"

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
};

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
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
    // Clears what belongs to the input side of a session (trigger flags).
    void endSessionInput();
    void cancelDictationCompletionWatchdog();

    // Ports.
    SettingsStore& store;
    std::shared_ptr<DictationEngine> dictationEngine;
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<UserFiles> userFiles;
    std::function<void(std::string_view)> log;
    std::shared_ptr<BubbleDisplay> bubbleWindow;
    std::shared_ptr<StatusItem> statusItem;

    BubbleState bubbleState_ = BubbleState::idle;

    // The current session.
    bool isListening_ = false;
    bool isProcessingDictation_ = false;
    bool hasCompletedCurrentDictation_ = false;
    std::optional<RunningApplication> targetApplication;
    std::string targetAppName_ = "Active App";
    std::string currentPartialTranscript_;
    std::shared_ptr<WorkItem> dictationCompletionWatchdog;
    std::shared_ptr<WorkItem> successResetWorkItem;

    // Trigger flags; every end of a session clears them.
    bool functionKeyLatched = false;
    bool ignoreNextFunctionRelease = false;
    bool pendingFunctionReleaseStop = false;
};

}  // namespace tavlo
