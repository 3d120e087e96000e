#pragma once
// Downloads that go straight to a file on disk (a speech model of more than a
// gigabyte does not fit the in-memory HTTP port), continuing a file that
// already holds the first part of the download. Every download reports its
// progress and completes exactly once, on a background thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavlo {

struct FileDownloadRequest {
    std::string url;
    // Created (0600, never through a symbolic link) when missing. The bytes
    // it already holds are kept and only the rest is asked for; a server that
    // cannot send a part sends the whole, which then replaces them.
    std::filesystem::path file;
    // The download gives up when nothing arrives for this long.
    double stallSeconds = 60.0;
};

struct FileDownloadProgress {
    std::uint64_t bytesInFile = 0;
    // The whole size once the server has said it.
    std::optional<std::uint64_t> totalBytes;
};

struct FileDownloadOutcome {
    enum class Kind {
        completed,       // the server sent everything (or the file already held it all)
        cancelled,
        httpStatus,      // the server refused with statusCode
        connectionLost,  // the transfer broke off or stalled; the file keeps what arrived
        failed           // no connection, the file could not be written, ...
    };
    Kind kind = Kind::failed;
    int statusCode = 0;
    std::string description;  // a sentence the user can read
    std::uint64_t bytesInFile = 0;
};

class FileDownloadTask {
public:
    virtual ~FileDownloadTask() = default;
    // Stops the transfer; the completion then reports `cancelled` unless it
    // has already run. The file keeps what arrived. Safe from any thread.
    virtual void cancel() = 0;
};

class FileDownloader {
public:
    using Progress = std::function<void(const FileDownloadProgress&)>;
    using Completion = std::function<void(FileDownloadOutcome)>;

    virtual ~FileDownloader() = default;
    // Starts at once. Progress is reported now and then while bytes arrive
    // (not for every one), always before the completion.
    virtual std::shared_ptr<FileDownloadTask> download(FileDownloadRequest request, Progress progress,
                                                       Completion completion) = 0;
};

}  // namespace tavlo
