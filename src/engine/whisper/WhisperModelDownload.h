#pragma once
// Puts a published Whisper model into the model folder. The file arrives as
// "NAME.partial" beside its final name and gets that name only once its
// SHA-1 matches the published one, so a model's name never holds a partial,
// damaged or unverified file. An interrupted download (a lost connection,
// Ctrl+C, the program ending) keeps its partial file, and the next download
// of the model continues it with an HTTP range. A connection lost while bytes
// were still arriving is resumed at once, a few times over.
//
// Made and used on the main thread; progress and the outcome arrive there.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/whisper/WhisperModelCatalogue.h"
#include "platform/DiskSpace.h"
#include "platform/FileDownloader.h"
#include "platform/MainQueue.h"

namespace tavlo {

struct WhisperModelDownloadPorts {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<FileDownloader> downloader;
    std::shared_ptr<DiskSpace> diskSpace;
};

struct WhisperModelDownloadProgress {
    enum class Phase { downloading, verifying };
    Phase phase = Phase::downloading;
    std::uint64_t bytes = 0;  // in the partial file (downloading) or checked so far (verifying)
    std::optional<std::uint64_t> totalBytes;
};

struct WhisperModelDownloadOutcome {
    enum class Kind {
        installed,         // downloaded, checked and under its name
        alreadyInstalled,  // nothing was done
        cancelled,         // the partial file is kept for the next try
        noSpace,           // nothing was downloaded
        checksumMismatch,  // the download was deleted
        failed             // the partial file is kept when there is one
    };
    Kind kind = Kind::failed;
    std::string message;            // a sentence for the user
    std::filesystem::path file;     // the model's file (installed, alreadyInstalled)
};

// Where models are downloaded to: ~/.cache/whisper.cpp, which the engine searches.
std::filesystem::path whisperModelDownloadFolder(const std::filesystem::path& homeDirectory);

// The partial file of a model in the folder.
std::filesystem::path partialModelFile(const std::filesystem::path& folder, const WhisperModel& model);

// The model's address: the base address, a '/' unless it ends with one, and the file name.
std::string whisperModelURL(std::string_view baseURL, const WhisperModel& model);

class WhisperModelDownload : public std::enable_shared_from_this<WhisperModelDownload> {
public:
    using ProgressHandler = std::function<void(const WhisperModelDownloadProgress&)>;
    using FinishHandler = std::function<void(const WhisperModelDownloadOutcome&)>;

    // Starts at once; `finished` runs exactly once (never within this call).
    static std::shared_ptr<WhisperModelDownload> start(WhisperModelDownloadPorts ports, WhisperModel model,
                                                       std::filesystem::path folder, std::string baseURL,
                                                       ProgressHandler progress, FinishHandler finished);

    // Stops the download or the check, keeping the partial file.
    void cancel();

    const WhisperModel& model() const { return model_; }

private:
    WhisperModelDownload(WhisperModelDownloadPorts ports, WhisperModel model, std::filesystem::path folder,
                         std::string baseURL, ProgressHandler progress, FinishHandler finished);

    void begin();
    void attempt();
    // On the downloader's thread: checks the finished file and renames it.
    WhisperModelDownloadOutcome verifyAndInstall();
    void finish(WhisperModelDownloadOutcome outcome);

    WhisperModelDownloadPorts ports_;
    WhisperModel model_;
    std::filesystem::path folder_;
    std::string url_;
    ProgressHandler progress_;
    FinishHandler finished_;
    std::shared_ptr<FileDownloadTask> task_;
    std::atomic<bool> cancelled_{false};
    bool done_ = false;
    int attempts_ = 0;
};

}  // namespace tavlo
