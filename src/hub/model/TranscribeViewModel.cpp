#include "hub/model/TranscribeViewModel.h"

#include "hub/model/FileTranscriptionMessages.h"
#include "hub/model/HubTexts.h"
#include "settings/TextTrimming.h"

namespace tavlo {

TranscribeViewModel::TranscribeViewModel(HubContext& context)
    : context_(context), state_(std::make_shared<State>()) {}

std::string TranscribeViewModel::status() const {
    const State& state = *state_;
    if (state.working) return "Transcribing " + *state.working + "...";
    if (!state.message.empty()) return state.message;
    // The engine may have changed since the last result: what stops the
    // next file matters more than how the last one went.
    if (const auto reason = unavailableReason()) return *reason;
    if (!state.lastSuccess.fileName.empty())
        return "Copied to clipboard and saved: " + state.lastSuccess.fileName;
    return std::string(HubText::initialTranscribeStatus);
}

TranscribeViewModel::Tone TranscribeViewModel::statusTone() const {
    const State& state = *state_;
    if (state.working) return Tone::working;
    if (!state.message.empty()) return state.messageIsError ? Tone::error : Tone::normal;
    if (unavailableReason()) return Tone::error;
    return state.lastSuccess.fileName.empty() ? Tone::normal : Tone::success;
}

std::string TranscribeViewModel::transcript() const {
    return state_->working ? std::string(HubText::workingTranscript) : state_->lastSuccess.text;
}

std::string TranscribeViewModel::transcriptViewText() const {
    const std::string text = transcript();
    return text.empty() ? std::string(HubText::noFileTranscribedYet) : text;
}

std::optional<std::string> TranscribeViewModel::unavailableReason() const { return fileTranscriptionBlocker(context_); }

void TranscribeViewModel::chooseFileRequested() { context_.feedback().hapticTick(); }

bool TranscribeViewModel::filesDropped(const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return false;
    if (!canChooseFile()) {
        context_.feedback().beep();
        return false;
    }
    startFileTranscription(files.front());
    return true;
}

void TranscribeViewModel::startFileTranscription(const std::filesystem::path& file) {
    State& state = *state_;
    const std::uint64_t id = ++state.lastStarted;
    state.working = file.filename().string();
    state.message.clear();
    context_.render(HubSection::transcribe);

    const auto host = context_.host();
    if (!host) return;
    // The context lives as long as the state: both belong to the hub's model.
    host->transcribeFile(file, [weakState = std::weak_ptr<State>(state_), context = &context_,
                                id](const FileTranscriptionResult& result) {
        const auto state = weakState.lock();
        if (!state || id <= state->cancelledUpTo) return;
        applyResult(*context, *state, result);
    });
}

void TranscribeViewModel::cancelFileTranscription() {
    State& state = *state_;
    if (!state.working) return;
    state.cancelledUpTo = state.lastStarted;
    state.working.reset();
    state.message = "Transcription cancelled.";
    state.messageIsError = false;
    context_.feedback().hapticTick();
    if (const auto host = context_.host()) host->cancelFileTranscription();
    context_.render(HubSection::transcribe);
}

void TranscribeViewModel::applyResult(HubContext& context, State& state, const FileTranscriptionResult& result) {
    state.working.reset();
    if (result.isSuccess()) {
        const FileTranscriptionOutput& output = result.output();
        state.lastSuccess = {output.text, output.outputURL, output.outputURL.filename().string()};
        state.message.clear();
        context.feedback().hapticTick();
    } else {
        // The last good transcript stays on screen under the error.
        state.message = fileTranscriptionFailureMessage(result.error());
        state.messageIsError = true;
    }
    context.render(HubSection::transcribe);
}

void TranscribeViewModel::copyTranscript() {
    const std::string text = canCopyTranscript() ? trimmedWhitespaceAndNewlines(state_->lastSuccess.text) : "";
    if (text.empty()) {
        context_.feedback().beep();
        return;
    }
    if (const auto host = context_.host()) host->copyTextFromHub(text);
    context_.feedback().hapticTick();
}

std::optional<std::filesystem::path> TranscribeViewModel::savedFileToReveal() {
    if (!canShowSavedFile()) {
        context_.feedback().beep();
        return std::nullopt;
    }
    context_.feedback().hapticTick();
    return state_->lastSuccess.savedFile;
}

void TranscribeViewModel::revealFailed() {
    state_->message = "No file manager could show the file. The transcript is saved as " +
                      state_->lastSuccess.fileName + ".";
    state_->messageIsError = true;
    context_.render(HubSection::transcribe);
}

}  // namespace tavlo
