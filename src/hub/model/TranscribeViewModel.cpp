#include "hub/model/TranscribeViewModel.h"

#include "hub/model/HubTexts.h"
#include "settings/TextTrimming.h"

namespace tavlo {

TranscribeViewModel::TranscribeViewModel(HubContext& context)
    : context_(context), state_(std::make_shared<State>()) {
    state_->status = HubText::initialTranscribeStatus;
}

std::string TranscribeViewModel::transcriptViewText() const {
    return state_->transcript.empty() ? std::string(HubText::noFileTranscribedYet) : state_->transcript;
}

void TranscribeViewModel::chooseFileRequested() { context_.feedback().hapticTick(); }

bool TranscribeViewModel::filesDropped(const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return false;
    startFileTranscription(files.front());
    return true;
}

void TranscribeViewModel::startFileTranscription(const std::filesystem::path& file) {
    state_->status = "Transcribing " + file.filename().string() + "...";
    state_->transcript = HubText::workingTranscript;
    state_->savedFile.reset();
    context_.render(HubSection::transcribe);

    const auto host = context_.host();
    if (!host) return;
    // The context lives as long as the state: both belong to the hub's model.
    host->transcribeFile(file, [weakState = std::weak_ptr<State>(state_),
                                context = &context_](const FileTranscriptionResult& result) {
        if (const auto state = weakState.lock()) applyResult(*context, *state, result);
    });
}

void TranscribeViewModel::applyResult(HubContext& context, State& state, const FileTranscriptionResult& result) {
    if (result.isSuccess()) {
        const FileTranscriptionOutput& output = result.output();
        state.status = "Copied to clipboard and saved: " + output.outputURL.filename().string();
        state.transcript = output.text;
        state.savedFile = output.outputURL;
        context.feedback().hapticTick();
    } else {
        state.status = errorDescription(result.error());
        state.transcript.clear();
        state.savedFile.reset();
    }
    context.render(HubSection::transcribe);
}

void TranscribeViewModel::copyTranscript() {
    const std::string text = trimmedWhitespaceAndNewlines(state_->transcript);
    if (text.empty()) {
        context_.feedback().beep();
        return;
    }
    if (const auto host = context_.host()) host->copyTextFromHub(text);
    context_.feedback().hapticTick();
}

std::optional<std::filesystem::path> TranscribeViewModel::savedFileToReveal() {
    if (!state_->savedFile) {
        context_.feedback().beep();
        return std::nullopt;
    }
    context_.feedback().hapticTick();
    return state_->savedFile;
}

}  // namespace tavlo
