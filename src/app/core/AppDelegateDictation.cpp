// One dictation from the start request to its single end: permissions, the
// engine session, stop and cancel, the watchdog that covers a missing final
// result, and what happens to the finished text.
#include <chrono>
#include <utility>

#include "app/core/AppDelegate.h"
#include "app/core/CharacterCount.h"
#include "engine/support/TextTrimming.h"
#include "text/TextPipeline.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// The on-device recogniser usually sends its final result well within this
// after stop; if it never does, what was heard so far is delivered.
constexpr MainQueue::Duration completionWatchdogDelay = 3200ms;
// A trigger released while permissions were being granted stops the session
// this long after listening begins.
constexpr MainQueue::Duration pendingReleaseStopDelay = 80ms;

constexpr const char* microphoneDisconnectedMessage = "The microphone was disconnected.";
// How a failed transcription's on-device preview is named in the history.
constexpr const char* previewHistoryMark = " (on-device text)";

const char* flag(bool value) { return value ? "true" : "false"; }

}  // namespace

void AppDelegate::toggleDictation() {
    if (isListening_)
        stopDictation();
    else if (!isProcessingDictation_)
        startDictation();
}

void AppDelegate::startDictation() {
    if (isProcessingDictation_) return;
    if (store.speechModel() == SpeechModel::openAICloud && store.openAICloudMode() == OpenAICloudMode::apiKey &&
        !store.hasOpenAIAPIKey()) {
        const std::string message = "Save your OpenAI API key in Home before using Own OpenAI key mode.";
        setBubbleState(BubbleState::idle);
        presentError(message);
        notifyDictationEnded({DictationEnd::Kind::failed, {}, message, {}});
        return;
    }
    isProcessingDictation_ = true;
    hasCompletedCurrentDictation_ = false;
    const std::uint64_t session = ++lastDictationSession;
    activeDictationSession = session;

    targetTextSnapshot = focusedTextSnapshot();
    currentPartialTranscript_.clear();
    inputLost_ = false;
    cancelDictationCompletionWatchdog();
    targetApplication = preferredDictationTarget(targetTextSnapshot);
    targetAppName_ = targetApplication && targetApplication->localizedName && !targetApplication->localizedName->empty()
                         ? *targetApplication->localizedName
                         : "Active App";
    const auto frontmost = workspace ? workspace->frontmostApplication() : std::nullopt;
    logDiagnostic("record start requested target=" + targetAppName_ +
                  " bundle=" + (targetApplication ? targetApplication->bundleIdentifier.value_or("unknown") : "unknown") +
                  " startSnapshot=" + flag(targetTextSnapshot.has_value()) +
                  " frontmost=" + (frontmost ? frontmost->localizedName.value_or("none") : "none"));
    setBubbleState(BubbleState::processing);

    dictationEngine->requestPermissions(
        store.speechModel(),
        [weak = weak_from_this(), session](const std::optional<DictationEngineError>& denial) {
            if (auto self = weak.lock()) self->handleDictationPermission(session, denial);
        });
}

void AppDelegate::handleDictationPermission(std::uint64_t session, const std::optional<DictationEngineError>& denial) {
    // The session was cancelled or ended while the user was being asked; an
    // answer for it must not start recording for a session nobody waits for.
    if (session != activeDictationSession || isListening_) return;
    if (denial) {
        const std::string message = denial->errorDescription();
        presentError(message);
        notifyDictationEnded({DictationEnd::Kind::failed, {}, message, {}});
        return;
    }

    installEngineCallbacks(session);
    std::optional<EngineError> failure;
    try {
        dictationEngine->start(currentStartOptions());
    } catch (const DictationEngineError& error) {
        failure = error;
    } catch (const PlatformError& error) {
        failure = error;
    }
    if (failure) {
        isProcessingDictation_ = false;
        const std::string message = errorDescription(*failure);
        presentError(message);
        notifyDictationEnded({DictationEnd::Kind::failed, {}, message, {}});
        return;
    }

    isListening_ = true;
    // Escape and Return pressed with the trigger still held carry its
    // modifiers (Right Ctrl makes Escape Ctrl+Escape) and still count.
    if (hotKeys) hotKeys->installRecordingHotKeys(holdTriggerModifiers());
    setBubbleState(BubbleState::listening);
    if (feedbackTones) feedbackTones->playStart();
    if (observer_.listeningStarted) observer_.listeningStarted();

    if (pendingFunctionReleaseStop && !functionKeyLatched) {
        pendingFunctionReleaseStop = false;
        scheduleFunctionReleaseStop(pendingReleaseStopDelay);
    }
}

void AppDelegate::installEngineCallbacks(std::uint64_t session) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    dictationEngine->onPartial = [weak, session](const std::string& text) {
        auto self = weak.lock();
        if (!self || session != self->activeDictationSession) return;
        self->updatePartialTranscript(text);
        if (self->currentPartialTranscript_ == text && self->observer_.partialTranscriptChanged)
            self->observer_.partialTranscriptChanged(text);
    };
    dictationEngine->onComplete = [weak, session](const DictationResult& result) {
        auto self = weak.lock();
        if (!self) return;
        if (session != self->activeDictationSession) {
            // A completion of a session that has already ended (by the
            // watchdog, a cancel or an error), possibly while a newer one runs.
            self->logDiagnostic("record duplicate completion ignored target=" + self->targetAppName_);
            return;
        }
        self->completeDictation(result);
    };
    dictationEngine->onInputLost = [weak, session] {
        auto self = weak.lock();
        if (self && session == self->activeDictationSession) self->handleInputLost();
    };
}

void AppDelegate::handleInputLost() {
    if (!isListening_) return;
    logDiagnostic("record microphone lost target=" + targetAppName_);
    inputLost_ = true;
    stopDictation();
}

void AppDelegate::keepPreviewInHistory(const std::string& preview) {
    store.addRecent(preview, targetAppName_ + previewHistoryMark);
}

DictationStartOptions AppDelegate::currentStartOptions() const {
    DictationStartOptions options;
    options.model = store.speechModel();
    options.contextualStrings = store.dictionaryWords();
    options.languageIdentifier = store.speechLanguageIdentifier();
    options.microphoneUniqueID = store.microphoneUniqueID();
    options.openAICloudMode = store.openAICloudMode();
    // The keys are asked of the secret store only when the dictation goes to
    // the cloud: a lookup can take a noticeable part of a second (a slow or
    // absent keyring), and the user waits for the start tone meanwhile.
    if (options.model == SpeechModel::openAICloud) {
        options.serviceAccessToken = store.serviceAccessToken();
        options.openAIAPIKey = store.openAIAPIKey();
    }
    return options;
}

void AppDelegate::stopDictation() {
    if (!isListening_) return;
    logDiagnostic("record stop requested target=" + targetAppName_);
    isListening_ = false;
    endSessionInput();
    setBubbleState(BubbleState::processing);
    if (feedbackTones) feedbackTones->playStop();
    dictationEngine->stopAndCommit();
    if (!dictationEngine->usesDelayedExternalTranscription()) installDictationCompletionWatchdog();
}

void AppDelegate::cancelDictation() {
    if (!isListening_ && !isProcessingDictation_) return;
    endCurrentSession();
    dictationEngine->cancel();
    setBubbleState(BubbleState::idle);
    if (feedbackTones) feedbackTones->playCancel();
    notifyDictationEnded({DictationEnd::Kind::cancelled, {}, {}, {}});
}

void AppDelegate::installDictationCompletionWatchdog() {
    cancelDictationCompletionWatchdog();
    dictationCompletionWatchdog = mainQueue->postAfter(completionWatchdogDelay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || !self->isProcessingDictation_ || self->isListening_) return;
        const std::string partial = trimWhitespaceAndLineBreaks(self->currentPartialTranscript_);
        self->logDiagnostic("record watchdog fired partialChars=" + std::to_string(characterCount(partial)) +
                            " target=" + self->targetAppName_);
        self->completeDictation(DictationResult::success(partial));
    });
}

void AppDelegate::completeDictation(const DictationResult& result) {
    if (hasCompletedCurrentDictation_) {
        logDiagnostic("record duplicate completion ignored target=" + targetAppName_);
        return;
    }
    hasCompletedCurrentDictation_ = true;
    activeDictationSession = 0;
    cancelDictationCompletionWatchdog();
    isListening_ = false;
    isProcessingDictation_ = false;
    endSessionInput();

    const bool inputLost = std::exchange(inputLost_, false);
    // With local Whisper and the cloud the live text was only a preview: their
    // own result (or failure) is what counts, and the preview never stands in.
    const bool previewOnly = dictationEngine->usesDelayedExternalTranscription();

    std::string transcript;
    if (!result.isSuccess()) {
        const std::string message = errorDescription(result.error());
        const std::string partial = trimWhitespaceAndLineBreaks(currentPartialTranscript_);
        logDiagnostic("record failure error=" + message + " partialChars=" + std::to_string(characterCount(partial)));
        if (partial.empty() || previewOnly) {
            // The words are not lost: the preview waits in the history, never
            // pasted without the user asking for it.
            if (!partial.empty()) keepPreviewInHistory(partial);
            targetTextSnapshot.reset();
            currentPartialTranscript_.clear();
            presentError(message);
            notifyDictationEnded({DictationEnd::Kind::failed, {}, message, partial});
            return;
        }
        // What was heard before the failure is still the user's text.
        transcript = partial;
    } else {
        transcript = result.text().empty() && !previewOnly ? currentPartialTranscript_ : result.text();
    }

    transcript = trimWhitespaceAndLineBreaks(transcript);
    const bool autoPaste = autoPasteApplies();
    logDiagnostic("record complete chars=" + std::to_string(characterCount(transcript)) +
                  " autoPaste=" + flag(autoPaste) + " target=" + targetAppName_);
    if (transcript.empty()) {
        targetTextSnapshot.reset();
        currentPartialTranscript_.clear();
        if (inputLost) {
            presentError(microphoneDisconnectedMessage);
            notifyDictationEnded({DictationEnd::Kind::failed, {}, microphoneDisconnectedMessage, {}});
            return;
        }
        setBubbleState(BubbleState::idle);
        notifyDictationEnded({DictationEnd::Kind::nothingDelivered, {}, {}, {}});
        return;
    }

    const TransformStyle style =
        store.cleanupEnabled()
            ? store.style(targetApplication ? targetApplication->bundleIdentifier : std::nullopt,
                          targetApplication ? targetApplication->localizedName : std::nullopt)
            : TransformStyle::verbatim;
    const ProcessedText processed = TextPipeline::process(transcript, style, store.snippets());
    if (processed.cancelled || processed.text.empty()) {
        // The spoken cancel command ends here, as does text that cleans up to nothing.
        targetTextSnapshot.reset();
        setBubbleState(BubbleState::idle);
        notifyDictationEnded({DictationEnd::Kind::nothingDelivered, {}, {}, {}});
        return;
    }

    currentPartialTranscript_.clear();
    store.addRecent(processed.text, targetAppName_);
    store.learnLikelyTerms(processed.text);
    std::optional<FocusedTextSnapshot> snapshot = std::exchange(targetTextSnapshot, std::nullopt);
    // What was heard before the microphone went away is delivered, and the
    // bubble then says that something went wrong.
    const std::string problem = inputLost ? microphoneDisconnectedMessage : "";
    if (autoPaste) {
        const std::string pasted = separatedFromPreviousDictation(processed.text, snapshot);
        const bool endsLine = processed.shouldPressEnter;
        pasteOrCopy(pasted, processed.shouldPressEnter, std::move(snapshot),
                    [weak = weak_from_this(), problem, text = processed.text, endsLine](PasteOutcome outcome) {
                        auto self = weak.lock();
                        if (!self) return;
                        self->rememberDeliveredDictation(text, endsLine, outcome);
                        if (self->observer_.pasteFinished) self->observer_.pasteFinished(outcome);
                        // Unless a new dictation has begun meanwhile.
                        if (!problem.empty() && !self->isProcessingDictation_) self->showErrorState(problem);
                    });
    } else {
        pasteboard->clearContents();
        pasteboard->setString(processed.text);
        if (problem.empty())
            showSuccessTick();
        else
            showErrorState(problem);
    }
    notifyDictationEnded({DictationEnd::Kind::delivered, processed.text, problem, {}});
}

bool AppDelegate::autoPasteApplies() const {
    return canDeliverIntoApplications && (alwaysAutoPaste || store.autoPaste());
}

void AppDelegate::notifyDictationEnded(DictationEnd end) {
    if (observer_.dictationEnded) observer_.dictationEnded(end);
}

}  // namespace tavlo
