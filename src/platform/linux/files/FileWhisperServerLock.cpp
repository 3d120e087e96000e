#include "platform/linux/files/FileWhisperServerLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <nlohmann/json.hpp>

#include "platform/PlatformError.h"
#include "platform/linux/files/AtomicFile.h"
#include "platform/linux/files/SystemTemporaryFiles.h"
#include "platform/linux/process/ProcessInfo.h"
#include "platform/linux/files/PrivateFileLock.h"

namespace tavlo {
namespace {

// A record is a few hundred bytes; anything much larger is not ours.
constexpr std::size_t maximumRecordSize = 64 * 1024;

}  // namespace

FileWhisperServerLock::FileWhisperServerLock() : folder_(SystemTemporaryFiles().temporaryDirectory()) {}

FileWhisperServerLock::~FileWhisperServerLock() { release(); }

bool FileWhisperServerLock::tryAcquire() {
    if (descriptor_ >= 0) return true;
    const PrivateFileLock lock = tryLockPrivateFile(folder_, "whisper-server.lock");
    if (lock.outcome == PrivateFileLock::Outcome::busy) return false;
    descriptor_ = lock.descriptor;
    return true;
}

void FileWhisperServerLock::release() {
    if (descriptor_ < 0) return;
    std::error_code ignored;
    std::filesystem::remove(recordPath(), ignored);
    ::close(descriptor_);  // drops the lock
    descriptor_ = -1;
}

void FileWhisperServerLock::record(const RecordedWhisperServer& server) {
    if (descriptor_ < 0) return;
    // The start time tells the server apart from a later process that got
    // its identifier after it ended.
    const nlohmann::json record{{"pid", server.processIdentifier},
                                {"started", processStartTime(server.processIdentifier).value_or(0)},
                                {"model", server.model},
                                {"language", server.languageCode}};
    replaceFileAtomically(recordPath(), record.dump());
}

std::optional<RecordedWhisperServer> FileWhisperServerLock::recorded() const {
    const FileRead read = readWholeFile(recordPath(), true);
    if (read.status != FileRead::Status::ok || read.contents.size() > maximumRecordSize) return std::nullopt;
    const auto record = nlohmann::json::parse(read.contents, nullptr, false);
    if (!record.is_object()) return std::nullopt;
    try {
        RecordedWhisperServer server{record.at("pid").get<int>(), record.at("model").get<std::string>(),
                                     record.at("language").get<std::string>()};
        const auto started = record.at("started").get<unsigned long long>();
        if (server.processIdentifier <= 0 || processStartTime(server.processIdentifier) != started ||
            processCommandName(server.processIdentifier) != "whisper-server")
            return std::nullopt;
        return server;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

bool FileWhisperServerLock::endRecordedServer() {
    const auto server = recorded();
    // Killed outright: a stopped process would not act on a gentler signal.
    return server && ::kill(server->processIdentifier, SIGKILL) == 0;
}

}  // namespace tavlo
