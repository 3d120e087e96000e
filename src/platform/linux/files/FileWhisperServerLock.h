#pragma once
// The one-server-per-user lock (see WhisperServerLock) as an advisory lock
// (flock) on "whisper-server.lock" in the user's private work folder, with
// the record in "whisper-server.json" beside it. The kernel drops the lock
// when its process ends, so a killed run never blocks the next.
#include <filesystem>

#include "platform/WhisperServerLock.h"

namespace tavlo {

class FileWhisperServerLock final : public WhisperServerLock {
public:
    // The user's private work folder.
    FileWhisperServerLock();
    // A chosen private folder (for tests).
    explicit FileWhisperServerLock(std::filesystem::path folder) : folder_(std::move(folder)) {}
    ~FileWhisperServerLock() override;
    FileWhisperServerLock(const FileWhisperServerLock&) = delete;
    FileWhisperServerLock& operator=(const FileWhisperServerLock&) = delete;

    bool tryAcquire() override;
    void release() override;
    void record(const RecordedWhisperServer& server) override;
    std::optional<RecordedWhisperServer> recorded() const override;
    bool endRecordedServer() override;

private:
    std::filesystem::path recordPath() const { return folder_ / "whisper-server.json"; }

    std::filesystem::path folder_;
    int descriptor_ = -1;  // open and locked while this run holds the lock
};

}  // namespace tavlo
