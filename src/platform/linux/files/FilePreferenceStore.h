#pragma once
// The preference store as one human-readable JSON file, settings.json, in the
// user's configuration folder.
//
// - Every write replaces the file atomically, so a crash or kill at any moment
//   leaves the old or the new file, never a torn one.
// - Every access first checks whether another process replaced or edited the
//   file, and re-reads it if so.
// - A file that cannot be read is renamed aside in the same folder (nothing the
//   user had is lost), one line says so, and every setting reads as its default.
// - A file that exists but cannot be opened (its permissions) is not damaged:
//   it is left in place and untouched, the defaults apply and changes are kept
//   in memory for the rest of the run; one line says so.
// - When the folder cannot be written, the values are kept in memory for the
//   rest of the run, and one line says so.
// - Processes take a lock on the folder for each change; one that cannot get
//   it within lockWait (another writer stopped or hung while holding it)
//   makes no change at all, and one line says so.
// - Hidden copies left by a writer killed mid-write are removed once they are
//   older than staleWriteCopyAge.
//
// In the file, text, flags, numbers and lists of text are plain JSON values;
// binary data that holds JSON is written as {"data": <that JSON>}, other binary
// data as {"base64": "..."}, and points in time as {"date": <seconds since
// 2001-01-01 UTC>}.
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/PreferenceStore.h"
#include "platform/linux/files/AtomicFile.h"

namespace tavlo {

class FilePreferenceStore : public PreferenceStore {
public:
    static constexpr const char* fileName = "settings.json";

    // Receives the one-line messages about damaged files and unwritable folders.
    using Reporter = std::function<void(const std::string& line)>;

    // Long enough for several programs saving a large file one after the other.
    static constexpr std::chrono::milliseconds defaultLockWait{10'000};
    static constexpr std::chrono::seconds staleWriteCopyAge{600};

    FilePreferenceStore(std::filesystem::path directory, Reporter report,
                        std::chrono::milliseconds lockWait = defaultLockWait);

    std::optional<PreferenceValue> object(std::string_view key) override;
    void set(std::string_view key, PreferenceValue value) override;
    void remove(std::string_view key) override;
    // Writes the value as JSON to "settings.json.<key>.unreadable-<date>".
    bool keepAside(std::string_view key) override;

    const std::filesystem::path& path() const { return path_; }
    // True while changes could not be saved and live in memory only.
    bool keepsChangesInMemory() const;
    // How many changes were not made because the folder lock could not be taken.
    int refusedChanges() const;

private:
    void refresh();
    void change(std::string_view key, const std::optional<PreferenceValue>& value);
    void save();

    const std::filesystem::path directory_;
    const std::filesystem::path path_;
    const Reporter report_;
    const std::chrono::milliseconds lockWait_;

    mutable std::mutex mutex_;
    nlohmann::ordered_json document_ = nlohmann::ordered_json::object();
    std::optional<FileIdentity> loaded_;  // the version of the file the document reflects
    bool unsaved_ = false;                // the document holds changes the file lacks
    bool reportedUnsaved_ = false;
    bool protectFile_ = false;            // a file never to write over (unopenable, or damaged and not movable)
    int refusedChanges_ = 0;
};

}  // namespace tavlo
