#include "engine/whisper/WhisperModelDownload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "engine/support/Sha1.h"

namespace tavlo {
namespace fs = std::filesystem;

namespace {

using Kind = WhisperModelDownloadOutcome::Kind;

// A lost connection is resumed at once this many times in a row, as long as
// each try brought more bytes.
constexpr int maximumAttempts = 5;

bool isPlainFile(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::uint64_t plainFileSize(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

// Each missing folder on the way is made private to the user (the cache
// folder holds what the user downloaded, and nobody else needs to look in).
bool makePrivateFolders(const fs::path& folder, std::string& problem) {
    fs::path path;
    for (const auto& part : folder) {
        path /= part;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            problem = "Could not create the folder " + path.string() + " (" + std::strerror(errno) + ").";
            return false;
        }
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        problem = folder.string() + " is not a folder.";
        return false;
    }
    return true;
}

}  // namespace

fs::path whisperModelDownloadFolder(const fs::path& homeDirectory) {
    return homeDirectory / ".cache" / "whisper.cpp";
}

fs::path partialModelFile(const fs::path& folder, const WhisperModel& model) {
    return folder / (model.fileName() + ".partial");
}

std::string whisperModelURL(std::string_view baseURL, const WhisperModel& model) {
    std::string url(baseURL);
    if (url.empty() || url.back() != '/') url += '/';
    return url + model.fileName();
}

std::shared_ptr<WhisperModelDownload> WhisperModelDownload::start(WhisperModelDownloadPorts ports, WhisperModel model,
                                                                  fs::path folder, std::string baseURL,
                                                                  ProgressHandler progress, FinishHandler finished) {
    std::shared_ptr<WhisperModelDownload> download(new WhisperModelDownload(
        std::move(ports), std::move(model), std::move(folder), std::move(baseURL), std::move(progress),
        std::move(finished)));
    download->begin();
    return download;
}

WhisperModelDownload::WhisperModelDownload(WhisperModelDownloadPorts ports, WhisperModel model, fs::path folder,
                                           std::string baseURL, ProgressHandler progress, FinishHandler finished)
    : ports_(std::move(ports)),
      model_(std::move(model)),
      folder_(std::move(folder)),
      url_(whisperModelURL(baseURL, model_)),
      progress_(std::move(progress)),
      finished_(std::move(finished)) {}

void WhisperModelDownload::begin() {
    const fs::path target = folder_ / model_.fileName();
    std::string problem;
    if (!makePrivateFolders(folder_, problem)) return finish({Kind::failed, problem, {}});
    if (isPlainFile(target))
        return finish({Kind::alreadyInstalled, model_.name + " is already installed.", target});

    const std::uint64_t present = plainFileSize(partialModelFile(folder_, model_));
    const std::uint64_t needed = model_.bytes > present ? model_.bytes - present : 0;
    const auto available = ports_.diskSpace ? ports_.diskSpace->availableBytes(folder_) : std::nullopt;
    if (available && *available < needed)
        return finish({Kind::noSpace,
                       "Not enough free space in " + folder_.string() + ": " + model_.name + " needs " +
                           byteSizeText(needed) + " more, and " + byteSizeText(*available) + " are free.",
                       {}});
    attempt();
}

void WhisperModelDownload::attempt() {
    ++attempts_;
    const std::uint64_t before = plainFileSize(partialModelFile(folder_, model_));
    std::weak_ptr<WhisperModelDownload> weak = weak_from_this();
    auto queue = ports_.mainQueue;
    auto onProgress = [weak, queue](const FileDownloadProgress& progress) {
        queue->post([weak, progress] {
            auto self = weak.lock();
            if (self && !self->done_ && self->progress_)
                self->progress_({WhisperModelDownloadProgress::Phase::downloading, progress.bytesInFile,
                                 progress.totalBytes});
        });
    };
    auto onCompletion = [weak, queue, before](FileDownloadOutcome outcome) {
        auto self = weak.lock();
        if (!self) return;
        using DownloadKind = FileDownloadOutcome::Kind;
        if (outcome.kind == DownloadKind::completed && !self->cancelled_.load()) {
            // Checked here, away from the main thread: a large model takes seconds.
            WhisperModelDownloadOutcome result = self->verifyAndInstall();
            queue->post([weak, result = std::move(result)] {
                if (auto owner = weak.lock()) owner->finish(result);
            });
            return;
        }
        queue->post([weak, outcome = std::move(outcome), before] {
            auto owner = weak.lock();
            if (!owner || owner->done_) return;
            if (owner->cancelled_.load() || outcome.kind == DownloadKind::cancelled || outcome.kind == DownloadKind::completed)
                return owner->finish({Kind::cancelled,
                                      "The download of " + owner->model_.name +
                                          " was stopped; it continues where it left off when started again.",
                                      {}});
            const bool progressed = outcome.bytesInFile > before;
            if (outcome.kind == DownloadKind::connectionLost && progressed && owner->attempts_ < maximumAttempts)
                return owner->attempt();
            // An empty partial file holds nothing worth continuing.
            const fs::path partial = partialModelFile(owner->folder_, owner->model_);
            if (isPlainFile(partial) && plainFileSize(partial) == 0) {
                std::error_code ignored;
                fs::remove(partial, ignored);
            }
            std::string message = "Could not download " + owner->model_.name + " from " + owner->url_ + ": " +
                                  outcome.description;
            if (outcome.kind == DownloadKind::connectionLost)
                message += " Start the download again to continue where it left off.";
            owner->finish({Kind::failed, message, {}});
        });
    };
    task_ = ports_.downloader->download({url_, partialModelFile(folder_, model_)}, std::move(onProgress),
                                        std::move(onCompletion));
    if (cancelled_.load()) task_->cancel();
}

WhisperModelDownloadOutcome WhisperModelDownload::verifyAndInstall() {
    const fs::path partial = partialModelFile(folder_, model_);
    const fs::path target = folder_ / model_.fileName();
    const int fd = ::open(partial.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {Kind::failed, "Could not read " + partial.string() + " (" + std::strerror(errno) + ").", {}};
    struct stat info {};
    ::fstat(fd, &info);
    const auto total = static_cast<std::uint64_t>(info.st_size);
    Sha1 checksum;
    std::vector<char> buffer(1 << 20);
    std::uint64_t done = 0;
    std::uint64_t reported = 0;
    int readError = 0;
    std::weak_ptr<WhisperModelDownload> weak = weak_from_this();
    for (;;) {
        if (cancelled_.load()) {
            ::close(fd);
            return {Kind::cancelled,
                    "The download of " + model_.name + " was stopped; it continues where it left off when started again.",
                    {}};
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) readError = errno;
        if (got <= 0) break;
        checksum.update(buffer.data(), static_cast<std::size_t>(got));
        done += static_cast<std::uint64_t>(got);
        if (done - reported >= 64 * (1 << 20) || done == total) {
            reported = done;
            ports_.mainQueue->post([weak, done, total] {
                auto self = weak.lock();
                if (self && !self->done_ && self->progress_)
                    self->progress_({WhisperModelDownloadProgress::Phase::verifying, done, total});
            });
        }
    }
    ::close(fd);
    if (readError != 0)
        return {Kind::failed, "Could not read " + partial.string() + " (" + std::strerror(readError) + ").", {}};
    const std::string digest = checksum.hexDigest();
    if (digest != model_.sha1) {
        // Neither the whole nor a part of it can be trusted: the next try starts afresh.
        std::error_code ignored;
        fs::remove(partial, ignored);
        return {Kind::checksumMismatch,
                "The download of " + model_.name + " was damaged (its SHA-1 is " + digest + ", not " + model_.sha1 +
                    ") and was deleted.",
                {}};
    }
    if (::rename(partial.c_str(), target.c_str()) != 0)
        return {Kind::failed, "Could not rename " + partial.string() + " (" + std::strerror(errno) + ").", {}};
    // The rename itself reaches the disk with the folder.
    if (const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {Kind::installed, model_.name + " is installed: " + target.string(), target};
}

void WhisperModelDownload::cancel() {
    cancelled_.store(true);
    if (task_) task_->cancel();
}

void WhisperModelDownload::finish(WhisperModelDownloadOutcome outcome) {
    if (done_) return;
    done_ = true;
    task_.reset();
    // Never within start(): the caller has its handle before the outcome.
    ports_.mainQueue->post([handler = std::move(finished_), outcome = std::move(outcome), keep = shared_from_this()] {
        if (handler) handler(outcome);
    });
}

}  // namespace tavlo
