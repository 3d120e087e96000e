#pragma once
// The preference store as one human-readable JSON file, settings.json, in the
// user's configuration folder.
//
// - Every write replaces the file atomically, so a crash or kill at any moment
//   leaves the old or the new file, never a torn one.
// - Every access first checks whether another process replaced or edited the
//   file, and re-reads it if so.
// - A file that cannot be read is read again after a short wait, since an
//   editor rewriting it in place leaves it half written for a moment. One
//   still unreadable is never written over: the values last read whole (or
//   the defaults) stay in use, changes are kept in memory until it reads whole
//   again, when its values win; one line says so. Only a file nobody has
//   written to for damagedFileAge is judged damaged: it is renamed aside in
//   the same folder (nothing the user had is lost), one line says so, and the
//   program goes on from there.
// - A file that exists but cannot be opened (its permissions) is not damaged:
//   it is left in place and untouched, the defaults apply and changes are kept
//   in memory for the rest of the run; one line says so.
// - When the folder cannot be written, the values are kept in memory for the
//   rest of the run, and one line says so.
// - Processes take a lock on the folder for each change (and for a whole
//   transaction, a read-modify-write of a list); one that cannot get
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

class FolderLock;

class FilePreferenceStore : public PreferenceStore {
public:
    static constexpr const char* fileName = "settings.json";

    // Receives the one-line messages about damaged files and unwritable folders.
    using Reporter = std::function<void(const std::string& line)>;

    // Long enough for several programs saving a large file one after the other.
    static constexpr std::chrono::milliseconds defaultLockWait{10'000};
    static constexpr std::chrono::seconds staleWriteCopyAge{600};
    // No writer leaves a file half written this long.
    static constexpr std::chrono::seconds damagedFileAge = staleWriteCopyAge;
    // How often, and how far apart, a file that does not read is read again.
    static constexpr int unreadableRereads = 4;
    static constexpr std::chrono::milliseconds unreadableRereadWait{100};

    FilePreferenceStore(std::filesystem::path directory, Reporter report,
                        std::chrono::milliseconds lockWait = defaultLockWait);

    std::optional<PreferenceValue> object(std::string_view key) override;
    void set(std::string_view key, PreferenceValue value) override;
    void remove(std::string_view key) override;
    // Writes the value as JSON to "settings.json.<key>.unreadable-<date>".
    bool keepAside(std::string_view key) override;
    // Holds the folder lock while `body` runs; its reads come from the file
    // as it is under the lock.
    void transaction(std::string_view what, const std::function<void()>& body) override;

    const std::filesystem::path& path() const { return path_; }
    // True while changes could not be saved and live in memory only.
    bool keepsChangesInMemory() const;
    // How many changes were not made because the folder lock could not be taken.
    int refusedChanges() const;

private:
    // Takes the folder lock into `held` unless a transaction holds it already
    // or the file is never written; false (and one line) when it cannot be taken.
    bool lockFolder(std::string_view what, std::optional<FolderLock>& held);
    void refresh();
    void change(std::string_view key, const std::optional<PreferenceValue>& value);
    void save();

    const std::filesystem::path directory_;
    const std::filesystem::path path_;
    const Reporter report_;
    const std::chrono::milliseconds lockWait_;

    // Recursive: a transaction's body reads and writes through this store.
    mutable std::recursive_mutex mutex_;
    int transactionDepth_ = 0;  // > 0 while a transaction holds the folder lock
    nlohmann::ordered_json document_ = nlohmann::ordered_json::object();
    std::optional<FileIdentity> loaded_;  // the version of the file the document reflects
    bool unsaved_ = false;                // the document holds changes the file lacks
    bool reportedUnsaved_ = false;
    std::optional<FileIdentity> unreadable_;  // the version on disk that could not be read, never written over
    bool changedWhileUnreadable_ = false;     // changes since then live in memory only
    bool protectFile_ = false;            // a file never to write over (unopenable, or damaged and not movable)
    int refusedChanges_ = 0;
};

}  // namespace tavlo
