#pragma once
// The Transcribe section: a file handed to the host's file transcription, its
// progress and result, and the buttons that copy the transcript and show the
// saved .txt file. One transcription is shown at a time; a later one replaces
// the display, and an earlier one's result, arriving afterwards, replaces it
// again. A cancelled transcription's result never shows.
//
//   idle --file--> working --success--> done (text, saved file)
//                          --failure--> failed (message; the last success stays)
//                          --cancel---> idle (the last success stays)
//   any state --file--> working
//
// Before any file, the section says when the stored engine cannot transcribe
// files, and the chooser and drop area refuse until it can.
#include <cstdint>
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

    // How the status line is drawn: an error gets the error colour and icon.
    enum class Tone { normal, working, success, error };
    // The status line.
    std::string status() const;
    Tone statusTone() const;
    // The transcript of the last success (the working message while one runs);
    // empty before the first result.
    std::string transcript() const;
    // What the read-only text view shows: the transcript, or "No file
    // transcribed yet." when there is none.
    std::string transcriptViewText() const;
    // The .txt file of the last successful transcription.
    const std::optional<std::filesystem::path>& savedFile() const { return state_->lastSuccess.savedFile; }

    // A transcription runs: the view shows a busy bar and "Cancel".
    bool isWorking() const { return state_->working.has_value(); }
    // Why no file can be transcribed now; absent when one can.
    std::optional<std::string> unavailableReason() const;
    // "Choose file" and the drop area take a file.
    bool canChooseFile() const { return !isWorking() && !unavailableReason(); }
    // "Copy transcript" and "Show .txt" have something to act on.
    bool canCopyTranscript() const { return !isWorking() && !state_->lastSuccess.text.empty(); }
    bool canShowSavedFile() const { return !isWorking() && state_->lastSuccess.savedFile.has_value(); }

    // "Choose file" was pressed: ticks; the view then runs its file chooser
    // and passes a confirmed file to startFileTranscription.
    void chooseFileRequested();
    // Files dropped on the drop area: the first one is transcribed. False
    // (refuse the drop) when the list is empty, and after a beep while no file
    // can be taken.
    bool filesDropped(const std::vector<std::filesystem::path>& files);
    // Shows the working state, renders Transcribe and hands the file to the
    // host. The result, whenever it comes, renders Transcribe again; it is
    // dropped when this model no longer exists or the user cancelled.
    void startFileTranscription(const std::filesystem::path& file);
    // "Cancel" while working: the host stops the transcription, its result
    // is ignored, and the last success shows again.
    void cancelFileTranscription();

    // "Copy transcript": the trimmed text to the host, or a beep when blank.
    void copyTranscript();
    // "Show .txt": the file for the view to reveal in the file manager (after
    // a tick), or absent after a beep when there is no saved file.
    std::optional<std::filesystem::path> savedFileToReveal();
    // The file manager could not be opened for the saved file.
    void revealFailed();

private:
    struct Success {
        std::string text;
        std::optional<std::filesystem::path> savedFile;
        std::string fileName;  // the saved file's name, for the status line
    };
    // Shared with the pending completions, which hold it weakly.
    struct State {
        // The file being transcribed, while one is.
        std::optional<std::string> working;
        std::uint64_t lastStarted = 0;
        // Results of transcriptions up to this one were cancelled.
        std::uint64_t cancelledUpTo = 0;
        Success lastSuccess;
        // The newest result when it was a failure, or a note (cancelled).
        std::string message;
        bool messageIsError = false;
    };
    static void applyResult(HubContext& context, State& state, const FileTranscriptionResult& result);

    HubContext& context_;
    std::shared_ptr<State> state_;
};

}  // namespace tavlo
