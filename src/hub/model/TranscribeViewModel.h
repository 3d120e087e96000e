#pragma once
// The Transcribe section: a file handed to the host's file transcription, its
// progress and result, and the buttons that copy the transcript and show the
// saved .txt file. One transcription is shown at a time; a later one replaces
// the display, and an earlier one's result, arriving afterwards, replaces it
// again.
//
//   initial --file--> working --success--> done (text, saved file)
//                             --failure--> failed (message)
//   any state --file--> working
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hub/model/HubContext.h"

namespace tavlo {

class TranscribeViewModel {
public:
    explicit TranscribeViewModel(HubContext& context);
    TranscribeViewModel(const TranscribeViewModel&) = delete;
    TranscribeViewModel& operator=(const TranscribeViewModel&) = delete;

    // The status line.
    const std::string& status() const { return state_->status; }
    // The transcript (or the working message); empty before the first result.
    const std::string& transcript() const { return state_->transcript; }
    // What the read-only text view shows: the transcript, or "No file
    // transcribed yet." when it is empty.
    std::string transcriptViewText() const;
    // The .txt file of the last successful transcription.
    const std::optional<std::filesystem::path>& savedFile() const { return state_->savedFile; }

    // "Choose file" was pressed: ticks; the view then runs its file chooser
    // and passes a confirmed file to startFileTranscription.
    void chooseFileRequested();
    // Files dropped on the drop area: the first one is transcribed. False
    // (refuse the drop) when the list is empty.
    bool filesDropped(const std::vector<std::filesystem::path>& files);
    // Shows the working state, renders Transcribe and hands the file to the
    // host. The result, whenever it comes, renders Transcribe again; it is
    // dropped when this model no longer exists.
    void startFileTranscription(const std::filesystem::path& file);

    // "Copy transcript": the trimmed text to the host, or a beep when blank.
    void copyTranscript();
    // "Show .txt": the file for the view to reveal in the file manager (after
    // a tick), or absent after a beep when there is no saved file.
    std::optional<std::filesystem::path> savedFileToReveal();

private:
    // Shared with the pending completions, which hold it weakly.
    struct State {
        std::string status;
        std::string transcript;
        std::optional<std::filesystem::path> savedFile;
    };
    static void applyResult(HubContext& context, State& state, const FileTranscriptionResult& result);

    HubContext& context_;
    std::shared_ptr<State> state_;
};

}  // namespace tavlo
